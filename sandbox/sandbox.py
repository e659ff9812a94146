#!/usr/bin/env python3
"""Sandbox machines for tests and the demo.

    sandbox.py create  [machine options]            prints the sandbox folder
    sandbox.py run     SANDBOX [--timeout S] [--in-place] -- PROGRAM [ARGS...]
    sandbox.py destroy SANDBOX [--keep]
    sandbox.py oneshot [machine options] [--timeout S] [--in-place] -- PROGRAM [ARGS...]

oneshot builds a sandbox, runs one program in it, tears it down and exits with the program's
exit code (run-in-sandbox.sh is its shell front). Options are described in README.md.
"""

import argparse
import os
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from machine import Sandbox, SandboxError  # noqa: E402


def add_machine_options(p):
    p.add_argument("--build", default=os.environ.get("CVEX_BUILD_DIR") or os.path.join(
        os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "build"), help="build tree")
    p.add_argument("--name", default="sb", help="first part of the sandbox folder's name")
    p.add_argument("--shape", default="standard", help="store shape of the simulator, or 'none' for no server")
    p.add_argument("--drives", default="D", help="target disks present, e.g. D,E ('' for none)")
    p.add_argument("--cdrom", default="", help="letter of a CD-ROM drive")
    p.add_argument("--tools", default="bin",
                   help="client tools: bin, bin-7.4, bin-7.5, bin-8.2, bin-19.4, x86, or none")
    p.add_argument("--net", default=None, help="network state file to use, or 'none' for no file")
    p.add_argument("--nwsim-ini", default=None, help="file merged into the tools' nwsim.ini")
    p.add_argument("--store-args", default="", help="extra arguments for the store builder")
    p.add_argument("--put", action="append", default=[], metavar="SRC=WINPATH",
                   help="copy a Linux file or folder to a path on a sandbox drive")
    p.add_argument("--omit", action="append", default=[], metavar="FILE",
                   help="leave CVEX.DLL, halvo_nm.dll or trace.ini out of the host folder")
    p.add_argument("--keep", action="store_true", help="keep the folder after tear-down (debugging)")
    p.add_argument("--ipv6", action="store_true", help="the server listens on ::1 and the tools connect there")
    p.add_argument("--read-only", action="append", default=[], metavar="WINPATH",
                   help="make a folder (created when missing) or file on a sandbox drive read-only")


def add_run_options(p):
    p.add_argument("--timeout", type=float, default=None, help="seconds the program may run")
    p.add_argument("--in-place", action="store_true", help="run the program where it is, not from X:")
    p.add_argument("program")
    p.add_argument("args", nargs=argparse.REMAINDER)


def parse_puts(items):
    puts = []
    for item in items:
        if "=" not in item:
            raise SandboxError("--put wants SRC=WINPATH: %r" % item)
        source, target = item.split("=", 1)
        puts.append((source, target))
    return puts


def create_from(a):
    return Sandbox.create(a.build, name=a.name, shape=a.shape, drives=a.drives, cdrom=a.cdrom, tools=a.tools,
                          net=a.net, nwsim_extra=a.nwsim_ini, store_args=a.store_args, puts=parse_puts(a.put),
                          omit=a.omit, keep=a.keep, ipv6=a.ipv6, read_only=a.read_only)


def split_program(argv):
    """Everything after "--" is the program and its arguments, passed on untouched."""
    if "--" in argv:
        i = argv.index("--")
        return argv[:i], argv[i + 1:]
    return argv, []


NETNS_MARK = "CVEX_SANDBOX_NETNS"


def enter_netns(argv):
    """Runs this command again in a network namespace of its own with only loopback up, so that the
    machine's server, its tools and the TCP table they see belong to it alone. The process keeps its
    pid (unshare and the shell exec), so ctest's SIGTERM still reaches the tear-down."""
    env = dict(os.environ, **{NETNS_MARK: "1"})
    script = os.path.abspath(__file__)
    os.execvpe("unshare", ["unshare", "--net", "--", "sh", "-c", 'ip link set lo up && exec "$0" "$@"',
                           sys.executable, script] + argv, env)


def main(argv):
    own, program = split_program(argv)
    if "--netns" in own:
        if own[:1] != ["oneshot"]:
            raise SandboxError("--netns works only with oneshot (run-in-sandbox.sh)")
        if os.environ.get(NETNS_MARK) != "1":
            enter_netns(argv)
        own = [a for a in own if a != "--netns"]
    parser = argparse.ArgumentParser(description="Sandbox machines for tests and the demo.")
    sub = parser.add_subparsers(dest="command", required=True)
    add_machine_options(sub.add_parser("create"))
    p_run = sub.add_parser("run")
    p_run.add_argument("sandbox")
    p_run.add_argument("--timeout", type=float, default=None)
    p_run.add_argument("--in-place", action="store_true")
    p_destroy = sub.add_parser("destroy")
    p_destroy.add_argument("sandbox")
    p_destroy.add_argument("--keep", action="store_true")
    p_one = sub.add_parser("oneshot")
    add_machine_options(p_one)
    p_one.add_argument("--timeout", type=float, default=None)
    p_one.add_argument("--in-place", action="store_true")
    a = parser.parse_args(own)
    if a.command in ("run", "oneshot") and not program:
        parser.error("name the program after --")

    # ctest ends a test that runs too long with SIGTERM: tear down on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    if a.command == "create":
        print(create_from(a).root)
        return 0
    if a.command == "run":
        return Sandbox.load(a.sandbox).run(program[0], program[1:], a.timeout, a.in_place)
    if a.command == "destroy":
        box = Sandbox.load(a.sandbox)
        box.s["keep"] = a.keep
        box.destroy()
        return 0
    box = create_from(a)
    try:
        return box.run(program[0], program[1:], a.timeout, a.in_place)
    finally:
        box.destroy()
        if a.keep:
            print("sandbox kept: " + box.root, file=sys.stderr)


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except SandboxError as e:
        print("sandbox: " + str(e), file=sys.stderr)
        sys.exit(125)
