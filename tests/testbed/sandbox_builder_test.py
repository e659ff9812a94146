#!/usr/bin/env python3
"""The sandbox builder seen from Linux: the machine it lays out, two machines side by side,
the one-shot wrapper, and a tear-down that leaves no process and no folder behind.
Needs CVEX_BUILD_DIR (the build tree)."""

import glob
import os
import socket
import subprocess
import sys
import threading
import time
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "sandbox"))

import machine  # noqa: E402
import wineprefix  # noqa: E402

BUILD = os.environ.get("CVEX_BUILD_DIR") or os.path.join(REPO, "build")
TOOLS = "bin" if os.path.isfile(os.path.join(BUILD, "simulator", "bin", "recover.exe")) else "none"


def connects(address, port=machine.SERVER_PORT):
    try:
        with socket.create_connection((address, port), timeout=2):
            return True
    except OSError:
        return False


def windows_processes(root):
    names = []
    for pid in wineprefix.processes_of(root):
        try:
            with open("/proc/%d/comm" % pid) as f:
                names.append(f.read().strip())
        except OSError:
            pass
    return [n for n in names if n.endswith(".exe")]


def wine(box, *args):
    return subprocess.run(["wine"] + list(args), env=box.environment(), stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=120)


class SandboxBuilder(unittest.TestCase):
    def make(self, **kw):
        kw.setdefault("tools", TOOLS)
        started = time.monotonic()
        box = machine.Sandbox.create(BUILD, **kw)
        print("sandbox %s built in %.1f s" % (box.s["name"], time.monotonic() - started))
        self.addCleanup(box.destroy, True)
        return box

    def test_machine_is_laid_out_as_the_recovery_environment(self):
        answers = os.path.join(os.path.dirname(os.path.abspath(__file__)), "CMakeLists.txt")
        box = self.make(name="layout", drives="D,E", cdrom="F", omit=["cvex.dll"],
                        puts=[(answers, "X:\\answers.ini"), (answers, "F:\\setup\\disk.txt")])
        host = box.linux_path(machine.HOST_WIN)
        self.assertFalse(os.path.exists(os.path.join(host, "CVEX.DLL")))
        self.assertTrue(os.path.isfile(os.path.join(host, "halvo_nm.dll")))
        self.assertTrue(os.path.isfile(os.path.join(box.drive_dir("X"), "answers.ini")))
        self.assertTrue(os.path.isfile(os.path.join(box.drive_dir("F"), "setup", "disk.txt")))
        with self.assertRaises(machine.SandboxError):
            box.put(answers, "G:\\elsewhere.txt")
        devices = os.path.join(box.prefix, "dosdevices")
        # Y: is the volume mounted in the store's folder "D:\Data\Mount 1", which links to its root.
        self.assertEqual(sorted(n for n in os.listdir(devices) if len(n) == 2),
                         ["c:", "d:", "e:", "f:", "x:", "y:", "z:"])
        self.assertEqual(box.s["mounts"], {"D:\\Data\\Mount 1": "Y"})
        mount = box.linux_path("D:\\Data\\Mount 1")
        self.assertEqual(os.path.realpath(mount), os.path.realpath(box.drive_dir("Y")))
        self.assertEqual(os.listdir(mount), [])
        self.assertTrue(os.path.isdir(box.linux_path(machine.TOOLS_WIN)))
        self.assertTrue(os.path.isdir(os.path.join(box.drive_dir("X"), "PROGRA~1")))
        with open(box.linux_path(machine.HOST_WIN + "\\hlv.ini"), newline="") as f:
            self.assertIn("[File Locations]\r\nConfig=X:\\Program Files\\Velmora\\HALVOCFG\r\n", f.read())
        with open(os.path.join(box.prefix, "system.reg"), encoding="utf-8") as f:
            registry = f.read()
        self.assertIn("[System\\\\CurrentControlSet\\\\Control\\\\MiniNT]", registry)
        self.assertIn('[Software\\\\Wine\\\\Drives]', registry)
        self.assertIn('"f:"="cdrom"', registry)
        address = box.s["server_address"]
        self.assertTrue(address.startswith("127.") and address != "127.0.0.1", address)
        self.assertTrue(connects(address))
        if TOOLS != "none":
            with open(os.path.join(box.linux_path(machine.TOOLS_WIN), "nwsim.ini")) as f:
                self.assertIn("server_address = " + address, f.read())

    def test_tear_down_ends_every_process_and_removes_the_folder(self):
        box = self.make(name="teardown")
        server_pid = box.s["server_pid"]
        # A Windows process that would run for a minute, started as a test program might.
        child = subprocess.Popen(["wine", "cmd", "/c", "ping -n 60 127.0.0.1 >nul"], env=box.environment(),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while len(wineprefix.processes_of(box.root)) < 3 and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertGreaterEqual(len(wineprefix.processes_of(box.root)), 3, "wine did not start")
        socket_dir = wineprefix.server_socket_dir(box.prefix)
        self.assertTrue(os.path.exists(socket_dir))
        box.destroy()
        child.wait(timeout=30)
        self.assertEqual(wineprefix.processes_of(box.root), [])
        self.assertFalse(os.path.exists("/proc/%d" % server_pid))
        self.assertFalse(os.path.exists(box.root))
        self.assertFalse(os.path.exists(socket_dir))

    def test_two_machines_run_side_by_side_without_touching_each_other(self):
        one = self.make(name="sideA", drives="D")
        two = self.make(name="sideB", drives="D")
        self.assertNotEqual(one.s["server_address"], two.s["server_address"])
        results = {}

        def mark(box, text):
            results[text] = wine(box, "cmd", "/c", "echo %s> D:\\mark.txt && reg add HKLM\\Software\\CvexProbe "
                                 "/v owner /d %s /f" % (text, text)).returncode

        threads = [threading.Thread(target=mark, args=(b, t)) for b, t in ((one, "A"), (two, "B"))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(results, {"A": 0, "B": 0})
        for box, text in ((one, "A"), (two, "B")):
            with open(os.path.join(box.drive_dir("D"), "mark.txt")) as f:
                self.assertEqual(f.read().strip(), text)
            query = wine(box, "reg", "query", "HKLM\\Software\\CvexProbe", "/v", "owner")
            self.assertIn(text.encode(), query.stdout.split(b"owner")[-1])
        self.assertTrue(connects(one.s["server_address"]) and connects(two.s["server_address"]))
        one.destroy()
        self.assertTrue(connects(two.s["server_address"]), "tearing one down stopped the other's server")
        self.assertEqual(wine(two, "cmd", "/c", "exit 4").returncode, 4)


class NwsimIniMerge(unittest.TestCase):
    def test_extra_keys_replace_or_join_section_by_section(self):
        base = "[nwsim]\nstore = Z:\\s\nserver_address = 127.1.2.3\n"
        extra = "; knobs\n[NWSIM]\nServer_Address = ::1\nnoise = no\n[faults]\nf1 = recover line 3 crash\n"
        merged = machine.merge_ini(base, extra)
        self.assertEqual(merged.splitlines(), ["[nwsim]", "store = Z:\\s", "Server_Address = ::1", "noise = no", "",
                                               "[faults]", "f1 = recover line 3 crash"])


class RunInSandbox(unittest.TestCase):
    script = os.path.join(REPO, "sandbox", "run-in-sandbox.sh")

    def folders(self, name):
        return glob.glob(os.path.join(BUILD, "sandboxes", name + "-*"))

    def oneshot(self, name, *args):
        cmd = [self.script, "--build", BUILD, "--name", name] + list(args)
        return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=180)

    def test_returns_the_programs_exit_code_and_cleans_up(self):
        done = self.oneshot("exitcode", "--shape", "none", "--tools", "none", "--in-place", "--",
                            "cmd.exe", "/c", "exit 7")
        self.assertEqual(done.returncode, 7, done.stderr)
        self.assertEqual(self.folders("exitcode"), [])

    def test_bad_options_fail_before_anything_runs(self):
        for bad in (["--drives", "C"], ["--drives", "X"], ["--drives", "DE"], ["--cdrom", "D", "--drives", "D"],
                    ["--shape", "no-such-shape"]):
            done = self.oneshot("badopt", "--tools", "none", *bad, "--in-place", "--", "cmd.exe", "/c", "exit 0")
            self.assertEqual(done.returncode, 125, bad)
            self.assertIn(b"sandbox:", done.stderr, bad)
            self.assertEqual(self.folders("badopt"), [], bad)

    def test_time_out_and_sigterm_end_the_program_and_tear_down(self):
        long_run = ["--in-place", "--", "cmd.exe", "/c", "ping -n 100 127.0.0.1 >nul"]
        done = self.oneshot("timeout", "--shape", "none", "--tools", "none", "--timeout", "5", *long_run)
        self.assertEqual(done.returncode, 124, done.stderr)
        self.assertEqual(self.folders("timeout"), [])

        cmd = [self.script, "--build", BUILD, "--name", "sigterm", "--tools", "none"] + long_run
        wrapper = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while not (self.folders("sigterm") and windows_processes(self.folders("sigterm")[0])):
            self.assertLess(time.monotonic(), deadline, "the program did not start")
            time.sleep(0.2)
        root = self.folders("sigterm")[0]
        wrapper.terminate()  # what ctest does to a test that runs too long
        self.assertEqual(wrapper.wait(timeout=60), 143)
        self.assertEqual(wineprefix.processes_of(root), [])
        self.assertEqual(self.folders("sigterm"), [])

    def test_keep_leaves_the_folder_but_no_process(self):
        done = self.oneshot("keep", "--shape", "none", "--tools", "none", "--keep", "--in-place", "--",
                            "cmd.exe", "/c", "exit 0")
        self.assertEqual(done.returncode, 0, done.stderr)
        kept = self.folders("keep")
        self.assertEqual(len(kept), 1)
        self.addCleanup(machine.Sandbox.load(kept[0]).destroy, True)
        self.assertEqual(wineprefix.processes_of(kept[0]), [])
        self.assertTrue(os.path.isfile(os.path.join(kept[0], machine.MANIFEST)))


if __name__ == "__main__":
    unittest.main(verbosity=2)
