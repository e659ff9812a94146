#!/usr/bin/env python3
"""Simulated NetWorker server: answers the client tools' session requests on loopback port 7937.

    nwsim_server.py --store DIR --address 127.0.0.5 [--address ::1] [--port 7937]
                    [--config nwsim.ini] [--ready-file FILE] [--log FILE]
    nwsim_server.py --wait --address 127.0.0.5 [--port 7937] [--timeout 10]
    nwsim_server.py --stop --address 127.0.0.5 [--port 7937]

Protocol (one text line per message, fields separated by TAB, see simulator/README.md):
    tool -> server   HELLO <tool> <server name> <client name>   LINE   BYE   PING   SHUTDOWN
    server -> tool   OK <server name> <version> <build> <drop after lines> | BUSY | NOSERVER | NOCLIENT   PONG
"""

import argparse
import os
import signal
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "store"))

import knobs  # noqa: E402
import nwstore  # noqa: E402
from session import Session  # noqa: E402


class Server:
    def __init__(self, store_dir, addresses, port, config, log):
        self.store_dir = store_dir
        self.addresses = addresses
        self.port = port
        self.config = config
        self.log_file = log
        self.stopping = threading.Event()
        self.listeners = []
        self.lock = threading.Lock()
        self.drop_counts = {}  # file version -> sessions given the drop knobs
        self.drop_spared = {}  # file version -> sessions spared by drop_skip_sessions

    def log(self, text):
        line = "%s %s\n" % (time.strftime("%H:%M:%S"), text)
        with self.lock:
            if self.log_file:
                with open(self.log_file, "a") as f:
                    f.write(line)
            else:
                sys.stderr.write(line)

    def fired(self, knob):
        """The firing record beside the knob file: one line per firing of a server knob."""
        if not self.config:
            return
        with self.lock:
            try:
                with open(os.path.join(os.path.dirname(self.config), "nwsim.fired"), "a", newline="") as f:
                    f.write("server %s\r\n" % knob)
            except OSError:
                pass

    def drop_allowed(self, settings, tool):
        """Whether this session of the tool gets the drop knobs: drop_tool names the only tool they
        act on, drop_skip_sessions how many of its first sessions they spare, drop_sessions how many
        sessions (since the knob file last changed) they act on after those."""
        if not settings["drop_after_seconds"] and not settings["drop_after_lines"]:
            return False
        if settings["drop_tool"] and settings["drop_tool"] != tool.lower():
            return False
        with self.lock:
            spared = self.drop_spared.get(settings["stamp"], 0)
            if spared < settings["drop_skip_sessions"]:
                self.drop_spared[settings["stamp"]] = spared + 1
                return False
            if not settings["drop_sessions"]:
                return True
            used = self.drop_counts.get(settings["stamp"], 0)
            if used >= settings["drop_sessions"]:
                return False
            self.drop_counts[settings["stamp"]] = used + 1
        return True

    def listen(self):
        for address in self.addresses:
            family = socket.AF_INET6 if ":" in address else socket.AF_INET
            s = socket.socket(family, socket.SOCK_STREAM)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.bind((address, self.port))
            s.listen(16)
            s.settimeout(0.5)
            self.listeners.append(s)
            self.log("listening on %s port %d" % (address, self.port))

    def serve(self):
        threads = [threading.Thread(target=self.accept_loop, args=(s,), daemon=True) for s in self.listeners]
        for t in threads:
            t.start()
        while not self.stopping.is_set():
            self.stopping.wait(0.5)
        for s in self.listeners:
            s.close()
        self.log("stopped")

    def accept_loop(self, listener):
        while not self.stopping.is_set():
            try:
                conn, peer = listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            settings = knobs.read_server_knobs(self.config)
            if settings["refuse"]:
                self.log("refused %s" % (peer,))
                self.fired("refuse")
                reset(conn)
                continue
            threading.Thread(target=self.run_session, args=(conn, settings), daemon=True).start()

    def run_session(self, conn, settings):
        try:
            store = nwstore.read_manifest(self.store_dir)
        except ValueError as e:
            self.log("store unusable: %s" % e)
            reset(conn)
            return
        Session(self, conn, settings, store).run()


def reset(conn):
    """Closes with RST, as a server that drops a connection does."""
    try:
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
    except OSError:
        pass
    conn.close()


def write_ready_file(path):
    """Writes our pid under another name and renames it: whoever sees the file sees it whole."""
    partial = path + ".partial"
    with open(partial, "w") as f:
        f.write("%d\n" % os.getpid())
    os.replace(partial, path)


def send_command(address, port, command, timeout):
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    with socket.socket(family, socket.SOCK_STREAM) as s:
        s.settimeout(timeout)
        s.connect((address, port))
        s.sendall((command + "\n").encode())
        return s.recv(256).decode(errors="replace").strip()


def wait_until_up(address, port, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            if send_command(address, port, "PING", 1.0) == "PONG":
                return True
        except OSError:
            pass
        time.sleep(0.1)
    return False


def parse_args(argv):
    p = argparse.ArgumentParser(description="Simulated NetWorker server (loopback only).")
    p.add_argument("--store")
    p.add_argument("--address", action="append", required=True)
    p.add_argument("--port", type=int, default=7937)
    p.add_argument("--config")
    p.add_argument("--ready-file")
    p.add_argument("--log")
    p.add_argument("--wait", action="store_true")
    p.add_argument("--stop", action="store_true")
    p.add_argument("--timeout", type=float, default=10.0)
    return p.parse_args(argv)


def main(argv):
    args = parse_args(argv)
    bad = [a for a in args.address if not knobs.is_loopback(a)]
    if bad:
        print("nwsim_server: refusing to listen on non-loopback address %s" % ", ".join(bad), file=sys.stderr)
        return 2
    if args.wait:
        return 0 if wait_until_up(args.address[0], args.port, args.timeout) else 1
    if args.stop:
        try:
            send_command(args.address[0], args.port, "SHUTDOWN", args.timeout)
        except OSError as e:
            print("nwsim_server: no server answered: %s" % e, file=sys.stderr)
            return 1
        return 0
    if not args.store:
        print("nwsim_server: --store is required", file=sys.stderr)
        return 2
    server = Server(args.store, args.address, args.port, args.config, args.log)
    try:
        server.listen()
    except OSError as e:
        print("nwsim_server: cannot listen: %s" % e, file=sys.stderr)
        return 1
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: server.stopping.set())
    if args.ready_file:
        write_ready_file(args.ready_file)
    server.serve()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
