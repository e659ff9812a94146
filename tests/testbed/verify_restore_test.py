#!/usr/bin/env python3
"""verify_restore.py against drives restored by the simulated recover in a sandbox: a faithful
restore passes, a point in time is honoured, and each kind of difference is reported.
Needs CVEX_BUILD_DIR (the build tree)."""

import os
import subprocess
import sys
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "sandbox"))

import machine  # noqa: E402

BUILD = os.environ.get("CVEX_BUILD_DIR") or os.path.join(REPO, "build")
VERIFY = os.path.join(REPO, "simulator", "store", "verify_restore.py")
RECOVER = machine.TOOLS_WIN + "\\recover.exe"


class VerifyRestore(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.box = machine.Sandbox.create(BUILD, name="verify", shape="standard", drives="D")

    @classmethod
    def tearDownClass(cls):
        cls.box.destroy(True)

    def recover(self, *args):
        cmd = ["wine", RECOVER, "-a", "-iY", "-s", "nwsrv", "-c", "winclient1"] + list(args)
        r = subprocess.run(cmd, env=self.box.environment(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=180)
        self.assertEqual(r.returncode, 0, r.stdout.decode(errors="replace"))

    def verify(self, *args):
        cmd = [sys.executable, VERIFY, "--store", os.path.join(self.box.root, "store"),
               "--drive", self.box.drive_dir("D"), "--letter", "D"] + list(args)
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        return r.returncode, r.stdout.decode()

    def path(self, *parts):
        return os.path.join(self.box.drive_dir("D"), *parts)

    def test_1_faithful_restore_passes(self):
        self.recover("D:\\")
        self.recover("D:\\Data\\Mount 1")
        rc, out = self.verify()
        self.assertEqual(rc, 0, out)
        self.assertEqual(out, "verify: PASS: 4 files and 3 folders of D: match the backup\n")

    def test_2_point_in_time(self):
        self.recover("-t", "03/05/2021 00:00", "D:\\")
        self.recover("-t", "03/05/2021 00:00", "D:\\Data\\Mount 1")
        rc, out = self.verify("--pit", "2021-03-05 00:00:00")
        self.assertEqual(rc, 0, out)
        rc, out = self.verify()
        self.assertEqual(rc, 1)
        self.assertIn("content: D:\\Data\\report.txt: content differs from the backup\n", out)
        self.assertIn("time: D:\\Data\\archive.bin: modified 2021-03-01 22:10:00, the backup has "
                      "2021-03-08 22:10:00\n", out)

    def test_3_every_kind_of_difference(self):
        self.recover("D:\\")
        self.recover("D:\\Data\\Mount 1")
        os.remove(self.path("Data", "Mount 1", "inside mount.txt"))
        with open(self.path("Data", "report.txt"), "ab") as f:
            f.write(b"more")
        archive = self.path("Data", "archive.bin")
        os.chmod(archive, 0o644)
        stamp = os.stat(archive)
        with open(archive, "r+b") as f:
            first = f.read(1)
            f.seek(0)
            f.write(bytes([first[0] ^ 0xFF]))
        os.utime(archive, (stamp.st_atime, stamp.st_mtime))
        os.utime(self.path("Data", "empty.txt"), (0, 86400 * 365))
        os.makedirs(self.path("Extra Folder"))
        with open(self.path("Extra Folder", "stray.txt"), "w") as f:
            f.write("x")
        rc, out = self.verify()
        self.assertEqual(rc, 1)
        for line in ("missing: D:\\Data\\Mount 1\\inside mount.txt\n",
                     "size: D:\\Data\\report.txt: 24 bytes, the backup has 20\n",
                     "content: D:\\Data\\archive.bin: content differs from the backup\n",
                     "time: D:\\Data\\empty.txt: modified 1971-01-01",
                     "extra: D:\\Extra Folder\\\n", "extra: D:\\Extra Folder\\stray.txt\n",
                     "verify: FAIL: 1 missing, 2 extra, 1 size, 1 content, 1 time (of 4 files and 3 folders of D:)\n"):
            self.assertIn(line, out)
        rc, out = self.verify("--ignore", "D:\\Extra Folder", "--no-time", "--filespace", "D:\\")
        self.assertIn("verify: FAIL: 0 missing, 0 extra, 1 size, 1 content, 0 time (of 3 files and 2 folders", out)

    def test_4_bad_arguments(self):
        rc, out = self.verify("--pit", "yesterday")
        self.assertEqual(rc, 2)
        rc, out = self.verify("--filespace", "D:\\Nothing")
        self.assertEqual(rc, 2)
        self.assertIn("no filespace of D:", out)


class BulkStore(unittest.TestCase):
    """--bulk: many files, odd names, paths over 260 characters, and sparse files over 4 GiB."""

    FILES = 2100

    @classmethod
    def setUpClass(cls):
        cls.box = machine.Sandbox.create(BUILD, name="bulk", shape="standard", drives="D,E",
                                         store_args="--bulk %d --bulk-huge 1" % cls.FILES)

    @classmethod
    def tearDownClass(cls):
        cls.box.destroy(True)

    def recover(self, *args):
        cmd = ["wine", RECOVER, "-a", "-iY", "-s", "nwsrv", "-c", "winclient1"] + list(args)
        r = subprocess.run(cmd, env=self.box.environment(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=600)
        out = r.stdout.decode("utf-8", errors="replace")
        self.assertEqual(r.returncode, 0, out[-3000:])
        return out

    def test_count_sees_every_object_and_the_full_size(self):
        out = self.recover("-n", "E:\\")
        lines = [l for l in out.splitlines() if l.startswith("E:\\")]
        # files, their 3 folders, E:\, Bulk, huge with its file, Deep with 12 levels and 2 files
        self.assertEqual(len(lines), self.FILES + 3 + 2 + 2 + 1 + 12 + 2)
        self.assertIn("E:\\Bulk\\set 0001\\Grüße an Ærø 001001.dat", lines)
        deep = [l for l in lines if l.endswith("deep file.txt")]
        self.assertEqual(len(deep), 1)
        self.assertGreater(len(deep[0]), 400)
        needed = [l for l in out.splitlines() if l.startswith("Total estimated disk space needed")]
        kilobytes = int(needed[0].split()[-2])
        self.assertGreater(kilobytes, (4 << 30) // 1024)

    def test_restored_tree_with_long_paths_matches(self):
        self.recover("E:\\Deep", "E:\\Bulk\\set 0000", "E:\\Bulk\\set 0001", "E:\\Bulk\\set 0002")
        cmd = [sys.executable, VERIFY, "--store", os.path.join(self.box.root, "store"),
               "--drive", self.box.drive_dir("E"), "--letter", "E", "--ignore", "E:\\Bulk\\huge"]
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        out = r.stdout.decode("utf-8")
        self.assertEqual(r.returncode, 0, out[-3000:])
        self.assertIn("verify: PASS: %d files and 18 folders of E: match the backup" % (self.FILES + 2), out)


if __name__ == "__main__":
    unittest.main(verbosity=2)
