#!/usr/bin/env bash
# The Debian package: built, validated and its contents checked, as the README tells users to make it.
set -euo pipefail
exec bash "$(dirname "${BASH_SOURCE[0]}")/../../tools/package.sh"
