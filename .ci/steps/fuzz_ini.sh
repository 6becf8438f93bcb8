#!/usr/bin/env bash
# Fuzzes the INI engine with libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer): load any bytes,
# save, load again, before and after the edits a save makes. Seeded from tests/core/fuzz/ini_corpus (files of
# the kinds the program meets); what the run finds stays in the build folder. FUZZ_SECONDS sets the run time
# (default 40).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${KORVAN_BUILD_DIR:-$root/build}
seconds=${FUZZ_SECONDS:-40}
out=$build/fuzz-ini
mkdir -p "$out/corpus"

"$root/tools/setup.sh"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root/src" \
    "$root/src/core/ini_u.cpp" "$root/src/core/textcodec_u.cpp" "$root/src/platform/posix/files_posix.cpp" \
    "$root/src/platform/posix/userdirs_posix.cpp" \
    "$root/tests/core/fuzz/fuzz_ini.cpp" -o "$out/fuzz_ini"
# New inputs go into the first folder, so the seeds in the source tree stay as they are. -rss_limit_mb and
# -timeout turn a runaway allocation or a hang on one input into a failure.
"$out/fuzz_ini" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=16384 \
    -artifact_prefix="$out/" "$out/corpus" "$root/tests/core/fuzz/ini_corpus" 2>&1 | tail -n 5
echo "fuzz_ini: no crash in ${seconds} s"
