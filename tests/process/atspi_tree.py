#!/usr/bin/env python3
# Reads the accessible tree of a running program through AT-SPI, as a screen reader does, and prints one
# line per object: depth, role name and name, separated by tabs. Usage: atspi_tree.py PID [SECONDS]
import sys
import time

import pyatspi

MAX_NODES = 2000
MAX_DEPTH = 12


def find_application(pid, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                continue
        time.sleep(0.2)
    return None


def walk(node, depth, out):
    if node is None or depth > MAX_DEPTH or len(out) >= MAX_NODES:
        return
    out.append("%d\t%s\t%s" % (depth, node.getRoleName(), node.name or ""))
    for index in range(node.childCount):
        walk(node.getChildAtIndex(index), depth + 1, out)


def main():
    pid = int(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    app = find_application(pid, seconds)
    if app is None:
        print("no application with pid %d on the accessibility bus" % pid, file=sys.stderr)
        return 1
    lines = []
    walk(app, 0, lines)
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
