#!/usr/bin/env python3
"""Compares a restored drive with the backup store and prints every difference and a verdict.

    verify_restore.py --store DIR --drive DIR --letter L [--client NAME] [--pit "YYYY-MM-DD HH:MM:SS"]
                      [--filespace NAME]... [--ignore WINPATH]... [--no-time] [--links] [--max-lines N]
    verify_restore.py --system-state --store DIR --drive L=DIR... [--client NAME] [--pit ...]
                      [--windows-letter L] [--system-letter L] [--no-time] [--max-lines N]

DIR of --drive is the Linux folder behind drive L: (a sandbox's drives/<l>). The expected content
is every filespace saveset of the client on that letter (drive root and mounted folders; only
those named with --filespace when given, and then the others' folders are not looked at), each
the newest backup not later than --pit. Output:
one line per difference ("missing", "extra", "size", "content", "time", each with the Windows
path; with --links also "link" for names of one hard-linked file that are separate files), then
"verify: PASS ..." or "verify: FAIL ..."; exit code 0, 1, or 2 for bad arguments.

--system-state compares the final places of the system-state objects (system_state.py) on the
drives given as L=DIR pairs; "left" lines name what stayed at a place it should have left (a
staging folder, the repair folder, an "_NSR" name, the boot folder's bootmgr).
"""

import argparse
import datetime
import hashlib
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import nwstore  # noqa: E402
import system_state  # noqa: E402

KINDS = ("missing", "extra", "size", "content", "time")
SYSTEM_KINDS = ("missing", "size", "content", "time", "left")


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
    seen = set()  # folders reached through links (a mounted volume) are walked once
    for here, dirs, files in os.walk(drive_dir, followlinks=True):
        real = os.path.realpath(here)
        if real in seen:
            dirs[:] = []
            continue
        seen.add(real)
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


def changed(expected, found, check_time):
    """Expected objects that are missing or differ from the backup."""
    diffs = []
    for key, (kind, path, digest) in sorted(expected.items()):
        have = found.get(key)
        if have is None or have[0] != kind:
            diffs.append(("missing", path))
        elif kind == "f" and digest is None:
            diffs.append(("content", "%s: the store has no digest for it" % path))
        elif kind == "f":
            diffs += compare_file(have[1], path, digest, check_time)
    return diffs


def differences(expected, found, check_time, ignore):
    diffs = changed(expected, found, check_time)
    for key, (_, _, windows_path) in sorted(found.items()):
        if key not in expected and not ignored(key, ignore) and len(key) > 2:
            diffs.append(("extra", windows_path))
    return diffs


def link_differences(groups, found, letter, ignore):
    """Names of one hard-linked file (hardlinks.ini) that are present but not links of the first
    present name of their group. Missing names are reported as missing already."""
    diffs = []
    for group in groups:
        names = [n for n in group if n[:2].upper() == letter + ":" and not ignored(n.lower(), ignore)]
        present = [(n, found[n.lower()][1]) for n in names if found.get(n.lower(), ("d",))[0] == "f"]
        for name, path in present[1:]:
            if not os.path.samefile(path, present[0][1]):
                diffs.append(("link", "%s: not a hard link of %s" % (name, present[0][0])))
    return diffs


def report(diffs, expected, where, max_lines, out=sys.stdout, kinds=KINDS):
    for kind, text in diffs[:max_lines]:
        out.write("%s: %s\n" % (kind, text))
    if len(diffs) > max_lines:
        out.write("... %d more differences\n" % (len(diffs) - max_lines))
    files = sum(1 for k, _, _ in expected.values() if k == "f")
    folders = len(expected) - files
    if not diffs:
        out.write("verify: PASS: %d files and %d folders of %s match the backup\n" % (files, folders, where))
        return 0
    counts = ", ".join("%d %s" % (sum(1 for k, _ in diffs if k == kind), kind) for kind in kinds)
    out.write("verify: FAIL: %s (of %d files and %d folders of %s)\n" % (counts, files, folders, where))
    return 1


def parse_args(argv):
    p = argparse.ArgumentParser(description="Compare a restored drive with the backup store.")
    p.add_argument("--store", required=True)
    p.add_argument("--drive", action="append", default=[], required=True,
                   help="Linux folder of the restored drive, or L=DIR (repeatable with --system-state)")
    p.add_argument("--letter", default="", help="its drive letter")
    p.add_argument("--system-state", action="store_true", help="check the system state's final places")
    p.add_argument("--windows-letter", default="", help="the Windows volume (default: from disrec.ini)")
    p.add_argument("--system-letter", default="", help="the system or EFI volume (default: from disrec.ini)")
    p.add_argument("--client", default="")
    p.add_argument("--pit", default="", help="point in time, YYYY-MM-DD HH:MM:SS")
    p.add_argument("--filespace", action="append", default=[], help="only this filespace (repeatable)")
    p.add_argument("--ignore", action="append", default=[],
                   help="a Windows path (with what is below it) left out of the check, on both sides")
    p.add_argument("--no-time", action="store_true", help="do not compare modification times")
    p.add_argument("--links", action="store_true",
                   help="the names of each group of hardlinks.ini that are present must be one file")
    p.add_argument("--max-lines", type=int, default=200)
    return p.parse_args(argv)


def one_letter(text, option):
    letter = text.rstrip(":\\").upper()
    if len(letter) != 1 or not "A" <= letter <= "Z":
        raise ValueError("%s wants one drive letter" % option)
    return letter


def drive_pairs(values, letter):
    """{letter: Linux folder} of the --drive values: L=DIR pairs, or one DIR with --letter."""
    drives = {}
    for value in values:
        if len(value) > 2 and value[1] == "=":
            drives[one_letter(value[0], "--drive L=DIR")] = value[2:]
        elif letter:
            drives[one_letter(letter, "--letter")] = value
        else:
            raise ValueError("--drive %s wants a letter: L=DIR, or --letter" % value)
    for folder in drives.values():
        if not os.path.isdir(folder):
            raise ValueError("no folder %s" % folder)
    return drives


def compare_system_state(a, store, client, pit, drives):
    config = system_state.config_saveset(a.store, store, client, pit)
    win, system = system_state.letters_from_config(a.store, config)
    win = one_letter(a.windows_letter, "--windows-letter") if a.windows_letter else win or "C"
    system = one_letter(a.system_letter, "--system-letter") if a.system_letter else system or win
    places = system_state.expected_places(a.store, store, client, pit, win, system)
    expected = {k: v for k, v in places.final.items() if v[1][:1].upper() in drives}
    found = {}
    for letter, folder in drives.items():
        found.update(restored_objects(folder, letter))
    diffs = changed(expected, found, not a.no_time)
    for key, (path, why) in sorted(places.interim.items()):
        if path[:1].upper() in drives and key in found and found[key][0] == "f":
            diffs.append(("left", "%s: %s" % (path, why)))
    for letter, folder in sorted(drives.items()):
        diffs += [("left", "%s: a file left in the staging folder" % p)
                  for p in system_state.staging_leftovers(folder, letter)]
    where = "the system state on " + ", ".join(l + ":" for l in sorted(drives))
    return report(diffs, expected, where, a.max_lines, kinds=SYSTEM_KINDS)


def main(argv):
    a = parse_args(argv)
    try:
        pit = datetime.datetime.strptime(a.pit, nwstore.TIME_FORMAT) if a.pit else None
        drives = drive_pairs(a.drive, a.letter)
        if not a.system_state and (len(drives) != 1 or not a.letter):
            raise ValueError("--drive DIR and --letter L name the one drive to compare")
        letter = next(iter(drives))
        store = nwstore.read_manifest(a.store)
    except ValueError as e:
        print("verify_restore: %s" % e, file=sys.stderr)
        return 2
    client = a.client or (store.clients[0].name if store.clients else "")
    if a.system_state:
        if not system_state.components(store, client, pit):
            print("verify_restore: the store holds no system state for client %s" % client, file=sys.stderr)
            return 2
        return compare_system_state(a, store, client, pit, drives)
    a.drive = drives[letter]
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
    diffs = differences(expected, found, not a.no_time, ignore)
    if a.links:
        diffs += link_differences(nwstore.read_hardlinks(a.store), found, letter, ignore)
    return report(diffs, expected, letter + ":", a.max_lines, kinds=KINDS + (("link",) if a.links else ()))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
