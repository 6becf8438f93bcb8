#!/usr/bin/env bash
# Fuzzes the game version reader with libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer), seeded
# with the Windows executables the tests build. FUZZ_SECONDS sets the run time (default 60).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${KORVAN_BUILD_DIR:-$root/build}
seconds=${FUZZ_SECONDS:-60}
out=$build/fuzz
mkdir -p "$out/corpus"

"$root/tools/setup.sh"
# The seed corpus: the test fixtures, built if the test run has not made them yet.
"$root/tools/build.sh" "$build" -- korvan_pe_fixtures >/dev/null
cp -f "$build"/tests/game/pe/*.exe "$out/corpus/"

clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root/src" \
    "$root/src/game/peversion_u.cpp" "$root/tests/game/fuzz/fuzz_getver.cpp" -o "$out/fuzz_getver"
# -rss_limit_mb and -timeout turn a runaway allocation or a hang on one input into a failure.
"$out/fuzz_getver" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=65536 \
    -artifact_prefix="$out/" "$out/corpus" 2>&1 | tail -n 5
echo "fuzz_getver: no crash in ${seconds} s"
