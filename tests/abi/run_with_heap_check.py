#!/usr/bin/env python3
"""Runs a Windows program under Wine with Wine's heap warnings on, and fails when Wine printed one.
A block freed by another heap or runtime than the one that gave it shows only this way: Wine's
free() ignores such a block silently.

    run_with_heap_check.py -- PROGRAM [ARGS...]
        in the current folder and $WINEPREFIX (created when missing)

Wine's standard error is printed. Exit code: the program's when it failed, 1 when it passed but
Wine printed a heap warning, 0 otherwise.
"""

import os
import re
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINEDEBUG = "warn+heap"
# A line of Wine's debug output: "0024:warn:heap:RtlFreeHeap ..." (thread, class, channel).
DEBUG_LINE = re.compile(r"^(?:[0-9a-f]+:)*(warn|err):([a-z0-9_]+):", re.I)


def heap_warnings(text):
    """The lines of Wine's warn or err class that mention a heap, and every "mismatching heap"."""
    found = []
    for line in text.splitlines():
        lower = line.lower()
        if "mismatching heap" in lower or (DEBUG_LINE.match(line) and "heap" in lower):
            found.append(line)
    return found


def run_here(program, args):
    prefix = os.environ.get("WINEPREFIX") or os.path.join(os.getcwd(), "wineprefix")
    subprocess.run([os.path.join(REPO, "scripts", "make-wineprefix.sh"), prefix], check=True,
                   stdout=subprocess.DEVNULL)
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG=WINEDEBUG)
    proc = subprocess.run(["wine", program] + args, env=env, stderr=subprocess.PIPE)
    return proc.returncode, proc.stderr


def main(argv):
    if "--" not in argv:
        sys.exit("usage: run_with_heap_check.py -- PROGRAM [ARGS...]")
    split = argv.index("--")
    code, err = run_here(argv[split + 1], argv[split + 2:])
    text = err.decode("utf-8", errors="replace")
    sys.stderr.write(text)
    warnings = heap_warnings(text)
    if warnings:
        print("heap check: Wine printed %d heap warning(s), the first: %s" % (len(warnings), warnings[0]))
    if code != 0:
        print("heap check: the program exited with %d" % code)
        return code
    return 1 if warnings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
