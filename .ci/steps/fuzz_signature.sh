#!/usr/bin/env bash
# Fuzzes the check of the update list's minisign signature with libFuzzer (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer), seeded from tests/update/fuzz/corpus/signature. FUZZ_SECONDS sets the run
# time (default 40).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${KORVAN_BUILD_DIR:-$root/build}
seconds=${FUZZ_SECONDS:-40}
out=$build/fuzz-signature
mkdir -p "$out/corpus"

"$root/tools/setup.sh"
cp -f "$root"/tests/update/fuzz/corpus/signature/* "$out/corpus/"

clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root/src" \
    "$root/src/update/signature_u.cpp" "$root/tests/update/fuzz/fuzz_signature.cpp" -lsodium \
    -o "$out/fuzz_signature"
# -rss_limit_mb and -timeout turn a runaway allocation or a hang on one input into a failure.
"$out/fuzz_signature" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=16384 \
    -artifact_prefix="$out/" "$out/corpus" 2>&1 | tail -n 5
echo "fuzz_signature: no crash in ${seconds} s"
