#!/usr/bin/env python3
"""Compares a restored drive with the backup store and prints every difference and a verdict.

    verify_restore.py --store DIR --drive DIR --letter L [--client NAME] [--pit "YYYY-MM-DD HH:MM:SS"]
                      [--filespace NAME]... [--ignore WINPATH]... [--no-time] [--max-lines N]

DIR of --drive is the Linux folder behind drive L: (a sandbox's drives/<l>). The expected content
is every filespace saveset of the client on that letter (drive root and mounted folders; only
those named with --filespace when given, and then the others' folders are not looked at), each
the newest backup not later than --pit. Output:
one line per difference ("missing", "extra", "size", "content", "time", each with the Windows
path), then "verify: PASS ..." or "verify: FAIL ..."; exit code 0, 1, or 2 for bad arguments.
"""

import argparse
import datetime
import hashlib
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import nwstore  # noqa: E402

KINDS = ("missing", "extra", "size", "content", "time")


def chosen_savesets(store, client, letter, pit, names):
    """Newest saveset per filespace name on the letter, not later than pit."""
    newest = {}
    for s in store.savesets:
        if s.client.lower() != client.lower() or s.kind != "filesystem" or s.name[:2].upper() != letter + ":":
            continue
        if names and s.name.lower() not in names:
            continue
        if pit and s.savetime > pit:
            continue
        key = s.name.lower()
        if key not in newest or s.savetime > newest[key].savetime:
            newest[key] = s
    return list(newest.values())


def expected_objects(store_dir, savesets):
    """{lower-case path: (kind, path, digest or None)}; folders end in a backslash."""
    expected = {}
    for s in savesets:
        digests = nwstore.read_digests(store_dir, s.ssid)
        for kind, path in nwstore.read_objects(store_dir, s.ssid):
            key = path.rstrip("\\").lower()
            expected[key] = (kind, path, digests.get(path))
    return expected


def restored_objects(drive_dir, letter):
    """{lower-case Windows path: (kind, Linux path, Windows path)} of everything on the drive."""
    found = {}
    for here, _, files in os.walk(drive_dir):
        rel = os.path.relpath(here, drive_dir)
        base = letter + ":" + ("" if rel == "." else "\\" + rel.replace("/", "\\"))
        found[base.lower()] = ("d", here, base + "\\")
        for name in files:
            found[(base + "\\" + name).lower()] = ("f", os.path.join(here, name), base + "\\" + name)
    return found


def file_sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def compare_file(linux_path, windows_path, digest, check_time):
    """The differences of one restored file with its digest (sha256, size, mtime, attrs)."""
    sha, size, when, _ = digest
    st = os.stat(linux_path)
    if st.st_size != size:
        return [("size", "%s: %d bytes, the backup has %d" % (windows_path, st.st_size, size))]
    out = []
    if file_sha256(linux_path) != sha:
        out.append(("content", "%s: content differs from the backup" % windows_path))
    expected_time = time.mktime(when.timetuple())
    if check_time and abs(st.st_mtime - expected_time) > 2:
        shown = datetime.datetime.fromtimestamp(st.st_mtime).strftime(nwstore.TIME_FORMAT)
        out.append(("time", "%s: modified %s, the backup has %s" % (windows_path, shown,
                                                                   when.strftime(nwstore.TIME_FORMAT))))
    return out


def ignored(key, ignore):
    return any(key == i or key.startswith(i + "\\") for i in ignore)


def differences(expected, found, check_time, ignore):
    diffs = []
    for key, (kind, path, digest) in sorted(expected.items()):
        have = found.get(key)
        if have is None or have[0] != kind:
            diffs.append(("missing", path))
        elif kind == "f" and digest is None:
            diffs.append(("content", "%s: the store has no digest for it" % path))
        elif kind == "f":
            diffs += compare_file(have[1], path, digest, check_time)
    for key, (_, _, windows_path) in sorted(found.items()):
        if key not in expected and not ignored(key, ignore) and len(key) > 2:
            diffs.append(("extra", windows_path))
    return diffs


def report(diffs, expected, letter, max_lines, out=sys.stdout):
    for kind, text in diffs[:max_lines]:
        out.write("%s: %s\n" % (kind, text))
    if len(diffs) > max_lines:
        out.write("... %d more differences\n" % (len(diffs) - max_lines))
    files = sum(1 for k, _, _ in expected.values() if k == "f")
    folders = len(expected) - files
    if not diffs:
        out.write("verify: PASS: %d files and %d folders of %s: match the backup\n" % (files, folders, letter))
        return 0
    counts = ", ".join("%d %s" % (sum(1 for k, _ in diffs if k == kind), kind) for kind in KINDS)
    out.write("verify: FAIL: %s (of %d files and %d folders of %s:)\n" % (counts, files, folders, letter))
    return 1


def parse_args(argv):
    p = argparse.ArgumentParser(description="Compare a restored drive with the backup store.")
    p.add_argument("--store", required=True)
    p.add_argument("--drive", required=True, help="Linux folder of the restored drive")
    p.add_argument("--letter", required=True, help="its drive letter")
    p.add_argument("--client", default="")
    p.add_argument("--pit", default="", help="point in time, YYYY-MM-DD HH:MM:SS")
    p.add_argument("--filespace", action="append", default=[], help="only this filespace (repeatable)")
    p.add_argument("--ignore", action="append", default=[],
                   help="a Windows path (with what is below it) left out of the check, on both sides")
    p.add_argument("--no-time", action="store_true", help="do not compare modification times")
    p.add_argument("--max-lines", type=int, default=200)
    return p.parse_args(argv)


def main(argv):
    a = parse_args(argv)
    letter = a.letter.rstrip(":\\").upper()
    try:
        pit = datetime.datetime.strptime(a.pit, nwstore.TIME_FORMAT) if a.pit else None
        if len(letter) != 1 or not "A" <= letter <= "Z":
            raise ValueError("--letter wants one drive letter")
        if not os.path.isdir(a.drive):
            raise ValueError("no folder %s" % a.drive)
        store = nwstore.read_manifest(a.store)
    except ValueError as e:
        print("verify_restore: %s" % e, file=sys.stderr)
        return 2
    client = a.client or (store.clients[0].name if store.clients else "")
    savesets = chosen_savesets(store, client, letter, pit, {n.lower() for n in a.filespace})
    if not savesets:
        print("verify_restore: the store holds no filespace of %s: for client %s" % (letter, client),
              file=sys.stderr)
        return 2
    ignore = [i.rstrip("\\").lower() for i in a.ignore]
    expected = {k: v for k, v in expected_objects(a.store, savesets).items() if not ignored(k, ignore)}
    found = restored_objects(a.drive, letter)
    if a.filespace:  # the drive's other filespaces (mounted folders) are not this check's business
        chosen = {s.name.lower() for s in savesets}
        ignore += [s.root.rstrip("\\").lower() for s in chosen_savesets(store, client, letter, pit, set())
                   if s.name.lower() not in chosen and len(s.root.rstrip("\\")) > 2]
    return report(differences(expected, found, not a.no_time, ignore), expected, letter, a.max_lines)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
