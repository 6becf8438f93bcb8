#!/usr/bin/env bash
# Fuzzes the game version reader, seeded with the Windows executables the tests build. FUZZ_SECONDS sets the
# run time (default 60).
source "$(dirname "${BASH_SOURCE[0]}")/../lib/fuzz.sh"
# The seed corpus: the test fixtures, built if the test run has not made them yet.
"$root/tools/build.sh" "$build" -- korvan_pe_fixtures >/dev/null
fuzz_build getver "$root/src/game/peversion.cpp" "$root/tests/game/fuzz/fuzz_getver.cpp"
cp -f "$build"/tests/game/pe/*.exe "$fuzz_out/corpus/"
fuzz_run getver "${FUZZ_SECONDS:-60}" -max_len=65536
