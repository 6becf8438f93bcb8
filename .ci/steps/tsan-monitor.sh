#!/usr/bin/env bash
# The server-monitoring tests under ThreadSanitizer, in a build folder of their own: probes of many
# loopback servers while the main thread reshapes the server list. Any report fails the run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${KORVAN_TSAN_BUILD_DIR:-$root/build-tsan}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZE=thread \
    -DKORVAN_BUILD_BENCH=OFF >/dev/null
# Only the monitoring tests and what they link: a whole sanitized tree would take far longer.
targets=()
for file in "$root"/tests/monitor/test_*.cpp; do
    targets+=("$(basename "$file" .cpp)")
done
ninja -C "$build" "${targets[@]}"
# Qt is not built with ThreadSanitizer, so its own thread joins look like races; the suppressions name
# only Qt frames. Any other report fails the test. The TLS test starts openssl through QProcess once Qt's
# threads run; the child only execs, so forking there is safe, and TSan must not refuse it.
export TSAN_OPTIONS="suppressions=$root/tests/monitor/tsan.supp:halt_on_error=1:second_deadlock_stack=1:die_after_fork=0"
ctest --test-dir "$build" -R '^monitor\.' --output-on-failure --no-tests=error
