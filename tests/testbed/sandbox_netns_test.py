#!/usr/bin/env python3
"""Machines whose server is on ::1: two at once, each in a network namespace of its own, and the
clear refusal without one when [::1]:7937 is taken; a read-only folder that tear-down can remove.
Needs CVEX_BUILD_DIR (the build tree) and root (unshare --net, chattr)."""

import glob
import os
import socket
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("CVEX_BUILD_DIR") or os.path.join(REPO, "build")
WRAPPER = os.path.join(REPO, "sandbox", "run-in-sandbox.sh")
NSRPORTS = "X:\\PROGRA~1\\Legato\\nsr\\bin\\nsrports.exe"


def oneshot(name, *options, program=(NSRPORTS,)):
    cmd = [WRAPPER, "--build", BUILD, "--name", name] + list(options) + ["--timeout", "120", "--in-place", "--"]
    cmd += list(program)
    return subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


class NetnsSandboxes(unittest.TestCase):
    def test_two_ipv6_machines_at_once(self):
        # Each tool holds its connection for 6 s at its end, so the two runs overlap on [::1]:7937.
        with tempfile.NamedTemporaryFile("w", suffix=".ini", delete=False) as knobs:
            knobs.write("[faults]\nh = nsrports any end hang 6\n")
        self.addCleanup(os.unlink, knobs.name)
        runs = [oneshot("netns%d" % i, "--netns", "--ipv6", "--nwsim-ini", knobs.name) for i in range(2)]
        for run in runs:
            out, err = run.communicate(timeout=300)
            self.assertEqual(run.returncode, 0, err.decode(errors="replace"))
            self.assertIn(b"Service ports: 7937-9936", out)

    def test_ipv6_without_a_namespace_when_the_port_is_taken(self):
        holder = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
        self.addCleanup(holder.close)
        try:
            holder.bind(("::1", 7937))
        except OSError:
            self.skipTest("[::1]:7937 is in use by someone else")
        holder.listen(1)
        run = oneshot("v6taken", "--ipv6")
        _, err = run.communicate(timeout=300)
        self.assertEqual(run.returncode, 125)
        self.assertIn(b"sandbox: [::1]:7937 is not free", err)
        self.assertIn(b"--netns", err)
        self.assertEqual(glob.glob(os.path.join(BUILD, "sandboxes", "v6taken-*")), [])

    def test_read_only_folder_refuses_windows_programs_and_goes_at_tear_down(self):
        run = oneshot("rofolder", "--shape", "none", "--read-only", "X:\\locked\\inner",
                      program=("cmd.exe", "/c", "mkdir X:\\locked\\inner\\sub"))
        _, err = run.communicate(timeout=300)
        self.assertNotIn(run.returncode, (0, 124, 125), err.decode(errors="replace"))
        self.assertEqual(glob.glob(os.path.join(BUILD, "sandboxes", "rofolder-*")), [], err.decode(errors="replace"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
