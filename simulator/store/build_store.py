#!/usr/bin/env python3
"""Builds a simulated NetWorker backup store for one sample machine shape.

    build_store.py --out DIR --shape SHAPE [--server NAME] [--client NAME] [--client-address ADDR]
                   [--client-version VERSION] [--server-version VERSION]
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
        samples.data_volume(b, at(day, 22, 10), generation, password=password)
        if shape == "efi":
            samples.efi_volume(b, at(day, 22, 20))


def system_state(b, shape):
    if shape in ("standard", "vss", "efi", "noconfig", "password", "all"):
        samples.vss_savesets(b, at(1, 23, 0))
        samples.vss_savesets(b, at(8, 23, 0))
    if shape in ("legacy", "all"):
        samples.legacy_savesets(b, at(8, 23, 30))
    if shape in ("nmm", "all"):
        # Noon and just after midnight: the report's 12-hour clock shows "12:..." with PM and AM.
        samples.nmm_savesets(b, at(7, 12, 30))
        samples.nmm_savesets(b, at(8, 0, 15))
    if shape in ("dr", "all"):
        samples.dr_savesets(b, at(8, 23, 45))


def build(args):
    store = nwstore.Store(args.server, args.server_version)
    store.clients.append(nwstore.Client(args.client, [args.client_address], args.client_version))
    if args.shape != "empty":
        b = samples.Builder(store, args.client)
        opts = {"client": args.client, "client_version": args.client_version, "efi": args.shape == "efi"}
        volumes(b, opts, args.shape)
        system_state(b, args.shape)
    nwstore.write_store(store, args.out)


def main(argv):
    p = argparse.ArgumentParser(description="Build a simulated NetWorker backup store.")
    p.add_argument("--out", required=True, help="store folder to create (must be absent or empty)")
    p.add_argument("--shape", required=True, choices=SHAPES)
    p.add_argument("--server", default="nwsrv")
    p.add_argument("--client", default="winclient1")
    p.add_argument("--client-address", default="192.168.10.7")
    p.add_argument("--client-version", default="9.2.1.5")
    p.add_argument("--server-version", default="19.4.0.1")
    args = p.parse_args(argv)
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
