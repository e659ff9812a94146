#!/usr/bin/env python3
"""Runs verify_restore.py for a test program inside a sandbox machine, which starts it through
Wine and cannot wait for a Unix process or read its output: the verdict goes to a file.

    verify_in_sandbox.py OUT [--wine-c SNAPSHOT] -- verify_restore.py arguments...

OUT gets the exit code on its first line, then the output; it is written under another name and
renamed, so that it appears whole. Drive C: is the machine's own Wine drive: --wine-c names a
file of the paths that were on it before the restore (written by `snapshot`), and each of them
that the backup does not hold is left out of the comparison.

    verify_in_sandbox.py snapshot SNAPSHOT DRIVE_DIR
"""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
STORE_TOOLS = os.path.join(HERE, "..", "..", "simulator", "store")
sys.path.insert(0, STORE_TOOLS)


def snapshot(out, drive_dir):
    paths = []
    for here, folders, files in os.walk(drive_dir):
        rel = os.path.relpath(here, drive_dir)
        for name in folders + files:
            paths.append(os.path.normpath(os.path.join(rel, name)).replace("/", "\\"))
    with open(out + ".tmp", "w", encoding="utf-8") as f:
        f.write("\n".join(paths))
    os.replace(out + ".tmp", out)


def wine_ignores(snapshot_file, args):
    """--ignore for every path of the snapshot outside what the backup holds (the highest one)."""
    import datetime
    import nwstore
    import verify_restore
    def value(key):
        return args[args.index(key) + 1] if key in args else ""
    store_dir = value("--store")
    store = nwstore.read_manifest(store_dir)
    client = value("--client") or (store.clients[0].name if store.clients else "")
    pit = datetime.datetime.strptime(value("--pit"), nwstore.TIME_FORMAT) if value("--pit") else None
    names = {args[i + 1].lower() for i, a in enumerate(args) if a == "--filespace"}
    savesets = verify_restore.chosen_savesets(store, client, "C", pit, names)
    expected = set(verify_restore.expected_objects(store_dir, savesets))
    ignores = []
    with open(snapshot_file, encoding="utf-8") as f:
        for rel in f.read().splitlines():
            path = ("C:\\" + rel).lower()
            if path in expected:
                continue
            parent = path.rsplit("\\", 1)[0]
            if parent != "c:" and parent not in expected:
                continue  # below a path that is ignored already
            ignores += ["--ignore", "C:\\" + rel]
    return ignores


def main(argv):
    if argv[1] == "snapshot":
        snapshot(argv[2], argv[3])
        return 0
    out = argv[1]
    rest = argv[argv.index("--") + 1:]
    try:
        if len(argv) > 3 and argv[2] == "--wine-c":
            rest += wine_ignores(argv[3], rest)
        # Python started by Wine has no sys.executable to trust: the interpreter itself runs it.
        python = os.path.realpath("/proc/self/exe")
        run = subprocess.run([python, os.path.join(STORE_TOOLS, "verify_restore.py")] + rest,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        code, text = run.returncode, run.stdout
    except Exception as e:  # the test must hear of it, not wait for ever
        code, text = 3, "verify_in_sandbox: %r\n" % (e,)
    with open(out + ".tmp", "w", encoding="utf-8") as f:
        f.write("%d\n%s" % (code, text))
    os.replace(out + ".tmp", out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
