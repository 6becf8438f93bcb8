#!/usr/bin/env bash
# Fuzzes the news reader and its page builder, seeded with the kept corpus in tests/news/fuzz/corpus: channels
# of the kinds the program meets, hostile ones among them, and what a ten-minute run added (merged with
# -merge=1); a crash found goes there too, named regression-*. FUZZ_SECONDS sets the run time (default 40).
source "$(dirname "${BASH_SOURCE[0]}")/../lib/fuzz.sh"
# Qt's own libraries are not instrumented; only our code is.
# shellcheck disable=SC2046 # pkg-config's flags are meant to split
fuzz_build rss -fPIC $(pkg-config --cflags Qt6Core) "$root/src/news/rssparse.cpp" \
    "$root/tests/news/fuzz/fuzz_rss.cpp" $(pkg-config --libs Qt6Core)
fuzz_run rss "${FUZZ_SECONDS:-40}" -max_len=65536 -dict="$root/tests/news/fuzz/rss.dict" \
    "$root/tests/news/fuzz/corpus"
