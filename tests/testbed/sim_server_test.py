#!/usr/bin/env python3
"""The simulated server and the store builder, from the Linux side."""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SERVER = os.path.join(ROOT, "simulator", "server", "nwsim_server.py")
BUILDER = os.path.join(ROOT, "simulator", "store", "build_store.py")
sys.path.insert(0, os.path.join(ROOT, "simulator", "store"))
import nwstore  # noqa: E402

# An address of its own, so that parallel builds do not meet on the same socket.
ADDRESS = "127.79.%d.%d" % (zlib.crc32(ROOT.encode()) % 250 + 1, os.getpid() % 250 + 1)


def hello(address, port=7937, text="HELLO\trecover\tnwsrv\twinclient1\n"):
    s = socket.create_connection((address, port), timeout=5)
    s.sendall(text.encode())
    return s


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.store = os.path.join(cls.tmp.name, "store")
        cls.ini = os.path.join(cls.tmp.name, "nwsim.ini")
        subprocess.check_call([sys.executable, BUILDER, "--out", cls.store, "--shape", "standard"])
        cls.write_knobs("")
        cls.proc = subprocess.Popen([sys.executable, SERVER, "--store", cls.store, "--address", ADDRESS,
                                     "--config", cls.ini])
        subprocess.check_call([sys.executable, SERVER, "--wait", "--address", ADDRESS])

    @classmethod
    def tearDownClass(cls):
        subprocess.call([sys.executable, SERVER, "--stop", "--address", ADDRESS])
        cls.proc.wait(10)
        cls.tmp.cleanup()

    @classmethod
    def write_knobs(cls, server_section):
        with open(cls.ini, "w") as f:
            f.write("[nwsim]\nstore = Z:\\x\n[server]\n" + server_section)

    def tearDown(self):
        self.write_knobs("")

    def test_greeting_names_server_version_and_line_limit(self):
        self.write_knobs("drop_after_lines = 3\n")
        with hello(ADDRESS) as s:
            self.assertEqual(s.recv(100), b"OK\tnwsrv\t19.4.0.1\t142\t3\n")
        with hello(ADDRESS, text="HELLO\trecover\tother\twinclient1\n") as s:
            self.assertEqual(s.recv(100), b"NOSERVER\n")
        with hello(ADDRESS, text="HELLO\trecover\tnwsrv\t192.168.10.7\n") as s:
            self.assertTrue(s.recv(100).startswith(b"OK\t"))
        with hello(ADDRESS, text="HELLO\trecover\tnwsrv\tstranger\n") as s:
            self.assertEqual(s.recv(100), b"NOCLIENT\n")

    def test_busy_refuse_and_drops(self):
        self.write_knobs("busy = yes\n")
        with hello(ADDRESS) as s:
            self.assertEqual(s.recv(100), b"BUSY\n")
        self.write_knobs("refuse = yes\n")
        with self.assertRaises(OSError):
            with hello(ADDRESS) as s:
                if not s.recv(100):
                    raise ConnectionResetError("closed")
        self.write_knobs("drop_after_lines = 2\n")
        with hello(ADDRESS) as s:
            s.recv(100)
            s.sendall(b"LINE\nLINE\n")
            with self.assertRaises(ConnectionResetError):
                if not s.recv(100):
                    raise ConnectionResetError("closed")
        self.write_knobs("drop_after_seconds = 0.5\n")
        with hello(ADDRESS) as s:
            s.recv(100)
            started = time.monotonic()
            with self.assertRaises(ConnectionResetError):
                if not s.recv(100):
                    raise ConnectionResetError("closed")
            self.assertGreater(time.monotonic() - started, 0.3)

    def test_drops_for_one_tool_and_a_number_of_sessions(self):
        self.write_knobs("drop_after_lines = 3\ndrop_tool = recover\ndrop_sessions = 2\n")
        greetings = []
        for tool in ("nsrports", "recover", "mminfo", "recover", "recover"):
            with hello(ADDRESS, text="HELLO\t%s\tnwsrv\twinclient1\n" % tool) as s:
                greetings.append(s.recv(100).split(b"\t")[-1])
        self.assertEqual(greetings, [b"0\n", b"3\n", b"0\n", b"3\n", b"0\n"])
        time.sleep(0.05)  # a new version of the file counts anew
        self.write_knobs("drop_after_lines = 3\ndrop_tool = recover\ndrop_sessions = 2\n")
        with hello(ADDRESS) as s:
            self.assertEqual(s.recv(100).split(b"\t")[-1], b"3\n")

    def test_drops_spare_the_first_sessions(self):
        self.write_knobs("drop_after_lines = 3\ndrop_tool = recover\ndrop_skip_sessions = 1\ndrop_sessions = 1\n")
        greetings = []
        for tool in ("recover", "mminfo", "recover", "recover"):
            with hello(ADDRESS, text="HELLO\t%s\tnwsrv\twinclient1\n" % tool) as s:
                greetings.append(s.recv(100).split(b"\t")[-1])
        self.assertEqual(greetings, [b"0\n", b"0\n", b"3\n", b"0\n"])

    def test_broken_knob_file_and_unknown_commands_are_harmless(self):
        with open(self.ini, "w") as f:
            f.write("[server\nbusy = maybe\n\x00\n")
        with hello(ADDRESS) as s:
            self.assertTrue(s.recv(100).startswith(b"OK\t"))
            s.sendall(b"WHATEVER\tx\n\n")
        self.assertEqual(subprocess.call([sys.executable, SERVER, "--wait", "--address", ADDRESS, "--timeout", "2"]), 0)


class StartAndStopTest(unittest.TestCase):
    def test_only_loopback_addresses(self):
        for address in ("0.0.0.0", "192.168.10.7", "::", "example.org"):
            r = subprocess.run([sys.executable, SERVER, "--store", ".", "--address", address], capture_output=True)
            self.assertEqual(r.returncode, 2, address)
            self.assertIn(b"non-loopback", r.stderr)

    def test_sigterm_stops_and_ready_file_tells_the_pid(self):
        with tempfile.TemporaryDirectory() as tmp:
            ready = os.path.join(tmp, "ready")
            address = ADDRESS.rsplit(".", 1)[0] + ".251"
            proc = subprocess.Popen([sys.executable, SERVER, "--store", tmp, "--address", address, "--ready-file", ready],
                                    stderr=subprocess.DEVNULL)
            self.addCleanup(proc.kill)
            for _ in range(300):
                if os.path.exists(ready) or proc.poll() is not None:
                    break
                time.sleep(0.05)
            self.assertIsNone(proc.poll(), "the server ended at start (address %s in use?)" % address)
            with open(ready) as f:
                self.assertEqual(int(f.read()), proc.pid)
            proc.send_signal(signal.SIGTERM)
            self.assertEqual(proc.wait(10), 0)
            self.assertEqual(subprocess.call([sys.executable, SERVER, "--wait", "--address", address, "--timeout", "0.5"]), 1)


class BuilderTest(unittest.TestCase):
    def test_every_shape_builds_a_readable_store(self):
        for shape in ("standard", "vss", "legacy", "nmm", "dr", "efi", "noconfig", "password", "empty", "all"):
            with tempfile.TemporaryDirectory() as tmp:
                out = os.path.join(tmp, "s")
                subprocess.check_call([sys.executable, BUILDER, "--out", out, "--shape", shape])
                store = nwstore.read_manifest(out)
                names = {s.name for s in store.savesets}
                has_config = os.path.exists(os.path.join(out, "data", "4200001001", "C", "QERNCFG", "disrec.ini"))
                self.assertEqual(has_config, shape not in ("noconfig", "empty"), shape)
                if shape == "efi":
                    with open(os.path.join(out, "data", "4200001001", "C", "QERNCFG", "disrec.ini")) as f:
                        self.assertIn("PartitionStyle=1", f.read())
                if shape == "all":
                    for n in ("VSS SYSTEM BOOT:\\", "SYSTEM STATE:\\", "SYSTEM COMPONENTS:\\ ", "VSS:/", "OSSR_D_",
                              "DISASTER_RECOVERY:\\", "WINDOWS ROLES AND FEATURES:\\", "D:\\Data\\Mount 1"):
                        self.assertIn(n, names)

    def test_refuses_a_folder_that_is_not_empty(self):
        with tempfile.TemporaryDirectory() as tmp:
            open(os.path.join(tmp, "x"), "w").close()
            r = subprocess.run([sys.executable, BUILDER, "--out", tmp, "--shape", "standard"], capture_output=True)
            self.assertEqual(r.returncode, 2)

    def test_disrec_carries_every_section_and_key(self):
        import disrec
        for efi in (False, True):
            text = disrec.render({"client": "pc7", "client_version": "9.2.1.5", "efi": efi})
            for key in ("[Main]", "NwClientVersion=9.2.1", "[WinDir]", "OSVersion=", "OSisCore=", "OSArchitecture=",
                        "DriveLetter=C", "PhysicalDrive=0", "Directory=\\Windows", "BootDriveLetter=", "BootPartition=",
                        "EFIDriveLetter=", "[PhysicalDrive0]", "PartitionStyle=%d" % efi, "DriveLetter1=",
                        "[ComputerName]", "ComputerName=PC7", "[Volume Info]", "C=NTFS"):
                self.assertIn(key, text)

    def test_disrec_edits_leave_out_replace_and_add(self):
        import disrec
        opts = {"client": "pc7", "client_version": "9.2.1.5", "omit": ["WinDir/PhysicalDrive", "Volume Info"],
                "assign": [("winDir/DriveLetter", "Q"), ("Extra/Note", "1")]}
        text = disrec.render(opts)
        self.assertNotIn("PhysicalDrive=", text)
        self.assertNotIn("[Volume Info]", text)
        self.assertIn("\r\nDriveLetter=Q\r\n", text)
        self.assertNotIn("DriveLetter=C\r\nPhysicalDrive", text)
        self.assertTrue(text.endswith("[Extra]\r\nNote=1\r\n"))

    def test_refused_variant_combinations(self):
        for args in (["--windows-letter", "D"], ["--windows-letter", "EE"], ["--gpt-no-efi", "--boot-partition"],
                     ["--disrec-set", "NoSlash=1"], ["--bulk", "1000001"], ["--bulk", "5", "--bulk-letter", "D"],
                     ["--bulk", "5", "--windows-letter", "E"], ["--add-saveset", "D:\\x", "--shape", "empty"]):
            with tempfile.TemporaryDirectory() as tmp:
                out = os.path.join(tmp, "s")
                cmd = [sys.executable, BUILDER, "--out", out, "--shape", "standard"] + args
                r = subprocess.run(cmd, capture_output=True)
                self.assertEqual(r.returncode, 2, args)
                self.assertFalse(os.path.exists(out), args)

    def test_digests_match_the_data(self):
        import hashlib
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "s")
            subprocess.check_call([sys.executable, BUILDER, "--out", out, "--shape", "standard"])
            digests = nwstore.read_digests(out, 4200001002)
            self.assertEqual(len(digests), 3)
            for path, (sha, size, when, attrs) in digests.items():
                with open(nwstore.data_path(out, 4200001002, path), "rb") as f:
                    data = f.read()
                self.assertEqual((sha, size), (hashlib.sha256(data).hexdigest(), len(data)), path)
            self.assertEqual(digests["D:\\Data\\archive.bin"][3], "AR")


if __name__ == "__main__":
    unittest.main()
