#!/usr/bin/env bash
# Fuzzes the INI engine: load any bytes, save, load again, before and after the edits a save makes. Seeded
# from tests/core/fuzz/ini_corpus (files of the kinds the program meets). FUZZ_SECONDS sets the run time
# (default 40).
source "$(dirname "${BASH_SOURCE[0]}")/../lib/fuzz.sh"
fuzz_build ini "$root/src/core/ini.cpp" "$root/src/core/textcodec.cpp" \
    "$root/src/platform/posix/files_posix.cpp" "$root/src/platform/posix/userdirs_posix.cpp" \
    "$root/tests/core/fuzz/fuzz_ini.cpp"
fuzz_run ini "${FUZZ_SECONDS:-40}" -max_len=16384 "$root/tests/core/fuzz/ini_corpus"
