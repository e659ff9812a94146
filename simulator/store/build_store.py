#!/usr/bin/env python3
"""Builds a simulated NetWorker backup store for one sample machine shape.

    build_store.py --out DIR --shape SHAPE [--server NAME] [--client NAME] [--client-address ADDR]
                   [--client-version VERSION] [--server-version VERSION]
                   [configuration summary variants] [--omit-saveset NAME]... [--empty-saveset NAME]...
                   [--add-saveset NAME]... [--protect PATH]...

The variants and the saveset options are described in simulator/README.md.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import nwstore  # noqa: E402
import samples  # noqa: E402
from samples import at  # noqa: E402

PASSWORD = "secret"
SHAPES = ["standard", "vss", "legacy", "nmm", "dr", "efi", "noconfig", "password", "empty", "all"]


def volumes(b, opts, shape):
    """Two full backups of the volumes, a week apart, so that a point in time picks one."""
    password = PASSWORD if shape == "password" else ""
    for generation, day in ((1, 1), (2, 8)):
        when = at(day)
        samples.windows_volume(b, when, generation, opts, with_config=shape != "noconfig", password=password)
        data = samples.data_volume(b, at(day, 22, 10), generation, password=password)
        if opts.get("hardlinks"):
            b.store.hardlinks = samples.hard_links(data, at(day, 22, 10), generation)
        if opts.get("long_path"):
            samples.long_path(data, at(day, 22, 10), generation, opts["long_path"])
        if shape == "efi":
            samples.efi_volume(b, at(day, 22, 20))


def system_state(b, shape, letter="C"):
    if shape in ("standard", "vss", "efi", "noconfig", "password", "all"):
        samples.vss_savesets(b, at(1, 23, 0), letter)
        samples.vss_savesets(b, at(8, 23, 0), letter)
    if shape in ("legacy", "all"):
        samples.legacy_savesets(b, at(8, 23, 30), letter)
    if shape in ("nmm", "all"):
        # Noon and just after midnight: the report's 12-hour clock shows "12:..." with PM and AM.
        samples.nmm_savesets(b, at(7, 12, 30), letter)
        samples.nmm_savesets(b, at(8, 0, 15), letter)
    if shape in ("dr", "all"):
        samples.dr_savesets(b, at(8, 23, 45))


def build(args):
    store = nwstore.Store(args.server, args.server_version)
    store.clients.append(nwstore.Client(args.client, [args.client_address], args.client_version))
    if args.shape != "empty":
        b = samples.Builder(store, args.client)
        opts = config_options(args)
        volumes(b, opts, args.shape)
        system_state(b, args.shape, opts["windows_letter"])
        for name in args.add_saveset:
            samples.added_saveset(b, at(8, 22, 30), name, opts["windows_letter"])
        if args.bulk or args.bulk_huge:
            samples.bulk_saveset(b, at(8, 22, 40), args.bulk_letter.upper(), args.bulk, args.bulk_huge)
    omitted = {name.lower() for name in args.omit_saveset}
    store.savesets = [s for s in store.savesets if s.name.lower() not in omitted]
    emptied = {name.lower() for name in args.empty_saveset}
    for s in store.savesets:
        if s.name.lower() in emptied:
            s.objects = []  # listed and in the media database, but nothing to restore
    protected = {path.lower() for path in args.protect}
    for s in store.savesets:
        for o in s.objects if isinstance(s.objects, list) else []:
            if o.path.lower() in protected:
                o.password = PASSWORD
    nwstore.write_store(store, args.out)


def config_options(args):
    """What the configuration summary of the backup says (disrec.render)."""
    assign = []
    for item in args.disrec_set:
        path, _, value = item.partition("=")
        assign.append((path, value))
    return {"client": args.client, "client_version": args.client_version, "efi": args.shape == "efi",
            "windows_letter": args.windows_letter.upper(), "gpt_no_efi": args.gpt_no_efi,
            "boot_partition": args.boot_partition, "core": args.core, "x86": args.x86,
            "computer_name": args.computer_name, "omit": args.disrec_omit, "assign": assign,
            "hardlinks": args.hardlinks, "long_path": args.long_path}


def add_variant_options(p):
    v = p.add_argument_group("configuration summary (disrec.ini) variants")
    v.add_argument("--windows-letter", default="C", help="letter of the Windows volume (not D)")
    v.add_argument("--gpt-no-efi", action="store_true", help="GPT system disk without an EFI letter")
    v.add_argument("--boot-partition", action="store_true",
                   help="empty boot letter: the system volume is found through BootPartition")
    v.add_argument("--core", action="store_true", help="a Server Core installation (OSisCore=1)")
    v.add_argument("--x86", action="store_true", help="a 32-bit Windows (OSArchitecture=x86)")
    v.add_argument("--computer-name", default="", help="computer name at backup (default: the client, upper case)")
    v.add_argument("--disrec-omit", action="append", default=[], metavar="SECTION[/KEY]",
                   help="leave a key (or a whole section) out")
    v.add_argument("--disrec-set", action="append", default=[], metavar="SECTION/KEY=VALUE",
                   help="set a key (added when absent)")
    p.add_argument("--hardlinks", action="store_true",
                   help="hard-linked names on D: (listed in hardlinks.ini), one under Temp\\PendingDeletes")
    p.add_argument("--long-path", type=int, default=0, metavar="N",
                   help="D: also holds a file whose path has N characters (200 to 32000)")
    p.add_argument("--bulk", type=int, default=0, metavar="N",
                   help="a filespace of N small files (up to 1000000), deep and long paths, odd names")
    p.add_argument("--bulk-huge", type=int, default=0, metavar="K", help="K sparse files over 4 GiB in it")
    p.add_argument("--bulk-letter", default="E", help="its drive letter (default E)")
    p.add_argument("--omit-saveset", action="append", default=[], metavar="NAME",
                   help="leave out every saveset of that name (e.g. \"VSS SYSTEM SERVICES:\\\")")
    p.add_argument("--empty-saveset", action="append", default=[], metavar="NAME",
                   help="keep every saveset of that name but without objects (e.g. \"VSS OTHER:\\\")")
    p.add_argument("--protect", action="append", default=[], metavar="PATH",
                   help="protect that object of every saveset with the password (e.g. \"C:\\QERNCFG\\NWInfo\")")
    p.add_argument("--add-saveset", action="append", default=[], metavar="NAME",
                   help="add one saveset of that name (e.g. \"D:\\ASR Images\")")


def check_options(args):
    letter = args.windows_letter.upper()
    if len(letter) != 1 or not "A" <= letter <= "Z" or letter in "DS":
        return "--windows-letter wants one letter other than D and S (the data and EFI volumes)"
    for item in args.disrec_set:
        if "/" not in item.partition("=")[0] or "=" not in item:
            return "--disrec-set wants SECTION/KEY=VALUE: %r" % item
    bulk = args.bulk_letter.upper()
    if not 0 <= args.bulk <= 1000000 or not 0 <= args.bulk_huge <= 10:
        return "--bulk takes 0 to 1000000 files, --bulk-huge 0 to 10"
    if (args.bulk or args.bulk_huge) and (len(bulk) != 1 or not "A" <= bulk <= "Z" or bulk in ("D", "S", letter)):
        return "--bulk-letter wants one letter other than D, S and the Windows letter"
    if (args.bulk or args.bulk_huge or args.add_saveset) and args.shape == "empty":
        return "the shape 'empty' has no backups to add savesets to"
    if args.gpt_no_efi and args.boot_partition:
        return "--gpt-no-efi and --boot-partition exclude each other"
    return ""


def main(argv):
    p = argparse.ArgumentParser(description="Build a simulated NetWorker backup store.")
    p.add_argument("--out", required=True, help="store folder to create (must be absent or empty)")
    p.add_argument("--shape", required=True, choices=SHAPES)
    p.add_argument("--server", default="nwsrv")
    p.add_argument("--client", default="winclient1")
    p.add_argument("--client-address", default="192.168.10.7")
    p.add_argument("--client-version", default="9.2.1.5")
    p.add_argument("--server-version", default="19.4.0.1")
    add_variant_options(p)
    args = p.parse_args(argv)
    problem = check_options(args)
    if problem:
        print("build_store: " + problem, file=sys.stderr)
        return 2
    if os.path.exists(args.out) and os.listdir(args.out):
        print("build_store: %s exists and is not empty" % args.out, file=sys.stderr)
        return 2
    try:
        build(args)
    except OSError as e:
        print("build_store: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
