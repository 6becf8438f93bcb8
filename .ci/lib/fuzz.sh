# Shared by the fuzzing steps in .ci/steps: each names its target, its sources and its seeds, and this
# builds it with libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer) and runs it for
# FUZZ_SECONDS. Sourced, not run: the steps loop runs every file of .ci/steps, so this lives outside it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${KORVAN_BUILD_DIR:-$root/build}
"$root/tools/setup.sh"

# fuzz_build NAME [clang arguments...]: the target's binary, $build/fuzz-NAME/fuzz_NAME.
fuzz_build()
{
    local name=$1
    shift
    fuzz_out=$build/fuzz-$name
    mkdir -p "$fuzz_out/corpus"
    clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root/src" \
        "$@" -o "$fuzz_out/fuzz_$name"
}

# fuzz_run NAME SECONDS [libFuzzer arguments and corpus folders...]: new inputs go into the build folder's
# corpus, so seeds kept in the source tree stay as they are. -rss_limit_mb and -timeout turn a runaway
# allocation or a hang on one input into a failure.
fuzz_run()
{
    local name=$1 seconds=$2
    shift 2
    "$build/fuzz-$name/fuzz_$name" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
        -artifact_prefix="$build/fuzz-$name/" "$build/fuzz-$name/corpus" "$@" 2>&1 | tail -n 5
    echo "fuzz_$name: no crash in ${seconds} s"
}
