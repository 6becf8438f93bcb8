#!/usr/bin/env bash
# Fuzzes the news reader and its page builder with libFuzzer (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer), seeded with the kept corpus in tests/news/fuzz/corpus: channels of the kinds
# the program meets, hostile ones among them, and what a ten-minute run added (merged with -merge=1); a
# crash found goes there too, named regression-*. FUZZ_SECONDS sets the run time (default 40).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${KORVAN_BUILD_DIR:-$root/build}
seconds=${FUZZ_SECONDS:-40}
out=$build/fuzz-rss
mkdir -p "$out/corpus"

"$root/tools/setup.sh"
cp -f "$root"/tests/news/fuzz/corpus/* "$out/corpus/"

# Qt's own libraries are not instrumented; only our code is.
clang++ -std=c++20 -O1 -g -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root/src" \
    $(pkg-config --cflags Qt6Core) "$root/src/news/rssparse_u.cpp" "$root/tests/news/fuzz/fuzz_rss.cpp" \
    $(pkg-config --libs Qt6Core) -o "$out/fuzz_rss"
# -rss_limit_mb and -timeout turn a runaway allocation or a hang on one input into a failure.
"$out/fuzz_rss" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=65536 \
    -dict="$root/tests/news/fuzz/rss.dict" -artifact_prefix="$out/" "$out/corpus" 2>&1 | tail -n 5
echo "fuzz_rss: no crash in ${seconds} s"
