#!/usr/bin/env bash
# Fuzzes the INI engine with libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer): load any bytes,
# save, load again. Seeded with a few files of the kinds the program meets. FUZZ_SECONDS sets the run time
# (default 40).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${KORVAN_BUILD_DIR:-$root/build}
seconds=${FUZZ_SECONDS:-40}
out=$build/fuzz-ini
mkdir -p "$out/corpus"

"$root/tools/setup.sh"
printf '[Main]\r\nWoWPath=C:\\WoW\\WoW.exe\r\n\r\n[My [EU] server]\r\nAddress=eu.example\r\n; note\r\n' \
    >"$out/corpus/crlf.ini"
printf '\xEF\xBB\xBF[A]\nk = "quoted" \n[open\n[]\nz=1\n\x1A' >"$out/corpus/utf8.ini"
printf '\xFF\xFE[\0A\0]\0\r\0k\0=\0\x00\xD8\r\0' >"$out/corpus/utf16le.ini"
printf '\xFE\xFF\0[\0B\0]\0\r\0=' >"$out/corpus/utf16be.ini"
printf '[A]\rk=1\r[B]\rm=2' >"$out/corpus/cr.ini"

clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root/src" \
    "$root/src/core/ini_u.cpp" "$root/src/core/textcodec_u.cpp" "$root/src/platform/posix/files_posix.cpp" \
    "$root/tests/core/fuzz/fuzz_ini.cpp" -o "$out/fuzz_ini"
# -rss_limit_mb and -timeout turn a runaway allocation or a hang on one input into a failure.
"$out/fuzz_ini" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=16384 \
    -artifact_prefix="$out/" "$out/corpus" 2>&1 | tail -n 5
echo "fuzz_ini: no crash in ${seconds} s"
