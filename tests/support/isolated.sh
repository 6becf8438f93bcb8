#!/bin/sh
# Runs one test in a network namespace of its own, with only a loopback device: whatever the test sends,
# name lookups included, stays on this machine. Where no namespace can be made, the test runs as it is.
# Each test also gets private runtime and state folders of its own, so tests running side by side never
# meet in the single-instance lock or a save journal, and nothing reaches the real user's folders.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/korvan-test.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime" "$scratch/state" || exit 1
export XDG_RUNTIME_DIR="$scratch/runtime" XDG_STATE_HOME="$scratch/state"
if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
    unshare --net sh -c 'ip link set lo up && exec "$@"' isolated "$@"
elif unshare --map-root-user --net true 2>/dev/null; then
    unshare --map-root-user --net sh -c 'ip link set lo up && exec "$@"' isolated "$@"
else
    echo "note: no network namespace available; running $1 without one" >&2
    "$@"
fi
