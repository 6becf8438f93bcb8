#!/usr/bin/env bash
# Builds Korvan and starts it. tavix.ini lives beside the program: build/src/tavix.ini.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release -- korvan
exec "$root/build/src/korvan" "$@"
