#!/usr/bin/env bash
# Fuzzes the update list parser and the check of its files with libFuzzer (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer), seeded from tests/update/fuzz/corpus/updatelist. FUZZ_SECONDS sets the run
# time (default 40).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${KORVAN_BUILD_DIR:-$root/build}
seconds=${FUZZ_SECONDS:-40}
out=$build/fuzz-updatelist
mkdir -p "$out/corpus"

"$root/tools/setup.sh"
# The generated build configuration (the program's version) comes from a configured build folder.
[ -f "$build/generated/buildconfig.h" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cp -f "$root"/tests/update/fuzz/corpus/updatelist/* "$out/corpus/"

clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root/src" \
    -I"$build/generated" "$root/src/update/updatelist_u.cpp" "$root/src/update/install_u.cpp" \
    "$root/src/update/signature_u.cpp" "$root/src/core/ini_u.cpp" "$root/src/core/textcodec_u.cpp" \
    "$root/src/core/globaltypes_u.cpp" "$root/src/platform/posix/files_posix.cpp" \
    "$root/src/platform/posix/userdirs_posix.cpp" \
    "$root/tests/update/fuzz/fuzz_updatelist.cpp" -lsodium -o "$out/fuzz_updatelist"
# -rss_limit_mb and -timeout turn a runaway allocation or a hang on one input into a failure.
"$out/fuzz_updatelist" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=65536 \
    -artifact_prefix="$out/" "$out/corpus" 2>&1 | tail -n 5
echo "fuzz_updatelist: no crash in ${seconds} s"
