#!/usr/bin/env bash
# Fuzzes the update list parser and the check of its files, seeded from tests/update/fuzz/corpus/updatelist.
# FUZZ_SECONDS sets the run time (default 40).
source "$(dirname "${BASH_SOURCE[0]}")/../lib/fuzz.sh"
# The generated build configuration (the program's version) comes from a configured build folder.
[ -f "$build/generated/buildconfig.h" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
fuzz_build updatelist -I"$build/generated" "$root/src/update/updatelist.cpp" "$root/src/update/install.cpp" \
    "$root/src/update/signature.cpp" "$root/src/core/ini.cpp" "$root/src/core/textcodec.cpp" \
    "$root/src/core/globaltypes_u.cpp" "$root/src/platform/posix/files_posix.cpp" \
    "$root/src/platform/posix/userdirs_posix.cpp" "$root/tests/update/fuzz/fuzz_updatelist.cpp" -lsodium
fuzz_run updatelist "${FUZZ_SECONDS:-40}" -max_len=65536 "$root/tests/update/fuzz/corpus/updatelist"
