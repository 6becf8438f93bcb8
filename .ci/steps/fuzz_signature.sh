#!/usr/bin/env bash
# Fuzzes the check of the update list's minisign signature, seeded from tests/update/fuzz/corpus/signature.
# FUZZ_SECONDS sets the run time (default 40).
source "$(dirname "${BASH_SOURCE[0]}")/../lib/fuzz.sh"
fuzz_build signature "$root/src/update/signature.cpp" "$root/tests/update/fuzz/fuzz_signature.cpp" -lsodium
fuzz_run signature "${FUZZ_SECONDS:-40}" -max_len=16384 "$root/tests/update/fuzz/corpus/signature"
