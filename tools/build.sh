#!/usr/bin/env bash
# Configures and builds the tree. Usage: tools/build.sh BUILD_DIR [extra cmake arguments...] [-- ninja targets...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$1
shift
cmake_args=()
while (($#)) && [[ $1 != -- ]]; do
    cmake_args+=("$1")
    shift
done
[[ ${1:-} == -- ]] && shift
cmake -S "$root" -B "$dir" -G Ninja "${cmake_args[@]}" >/dev/null
ninja -C "$dir" "$@"
