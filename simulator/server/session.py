"""One tool's connection to the simulated server: greeting, line counting, drops."""

import socket
import threading
import time


class Session:
    def __init__(self, server, conn, settings, store):
        self.server = server
        self.conn = conn
        self.settings = settings
        self.store = store
        self.lines = 0
        self.closed = threading.Event()
        self.drop_due = threading.Event()

    def run(self):
        buffer = b""
        # Short receive waits: a reset must come from this thread, as closing a socket that another
        # thread is receiving on sends nothing.
        self.conn.settimeout(0.2)
        try:
            while not self.closed.is_set():
                try:
                    data = self.conn.recv(4096)
                except socket.timeout:
                    if self.drop_due.is_set():
                        self.reset()
                    continue
                if not data:
                    break
                buffer += data
                while b"\n" in buffer:
                    line, buffer = buffer.split(b"\n", 1)
                    if not self.handle(line.decode("utf-8", errors="replace").rstrip("\r")):
                        return self.close()
        except OSError:
            pass
        self.close()

    def handle(self, line):
        """False ends the session."""
        fields = line.split("\t")
        command = fields[0].upper()
        if command == "PING":
            self.send("PONG")
            return False
        if command == "SHUTDOWN":
            self.server.log("shutdown requested")
            self.server.stopping.set()
            self.send("STOPPING")
            return False
        if command == "HELLO":
            self.server.log("session %s" % " ".join(fields[1:]))
            return self.greet(fields[1:] + ["", "", ""])
        if command == "LINE":
            self.lines += 1
            limit = self.settings["drop_after_lines"]
            if limit and self.lines >= limit:
                self.server.log("dropping after %d lines" % self.lines)
                self.server.fired("drop_after_lines")
                self.reset()
                return False
            return True
        return command != "BYE"

    def greet(self, fields):
        tool, server_name, client_name = fields[0], fields[1], fields[2]
        if self.settings["delay_seconds"]:
            self.server.fired("delay_seconds")
            time.sleep(self.settings["delay_seconds"])
        if self.settings["busy"]:
            self.server.fired("busy")
            self.send("BUSY")
        elif server_name and not self.known_server(server_name):
            self.send("NOSERVER")
        elif client_name and client_name != "-" and not self.known_client(client_name):
            self.send("NOCLIENT")
        else:
            if not self.server.drop_allowed(self.settings, tool):
                self.settings = dict(self.settings, drop_after_seconds=0.0, drop_after_lines=0)
            if self.settings["drop_after_seconds"]:
                threading.Thread(target=self.drop_later, daemon=True).start()
            # The line limit goes to the tool, which waits for the drop after that line, so that
            # the drop lands at the same line in every run.
            self.send("OK\t%s\t%s\t%s\t%d" % (self.store.server_name, self.store.server_version, self.store.build,
                                                self.settings["drop_after_lines"]))
        return True

    def known_server(self, name):
        own = self.store.server_name.lower()
        name = name.lower()
        return name == own or name == own.split(".")[0] or name.split(".")[0] == own

    def known_client(self, name):
        for c in self.store.clients:
            if c.name.lower() == name.lower() or name in c.addresses:
                return True
        return False

    def drop_later(self):
        if not self.closed.wait(self.settings["drop_after_seconds"]):
            self.server.log("dropping after %.1f s" % self.settings["drop_after_seconds"])
            self.server.fired("drop_after_seconds")
            self.drop_due.set()

    def send(self, text):
        try:
            self.conn.sendall((text + "\n").encode("utf-8"))
        except OSError:
            pass

    def reset(self):
        try:
            self.conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        except OSError:
            pass
        self.close()

    def close(self):
        if not self.closed.is_set():
            self.closed.set()
            try:
                self.conn.close()
            except OSError:
                pass
