#!/usr/bin/env bash
# Builds Korvan with its tests and runs every test. Usage: tools/test.sh [BUILD_DIR [extra cmake arguments...]]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/tools/setup.sh"
dir=${1:-$root/build}
shift || true
"$root/tools/build.sh" "$dir" "$@"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
