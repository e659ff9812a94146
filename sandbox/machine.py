"""Builds and tears down one sandbox machine: its Wine prefix, drive X: laid out as the
recovery environment, the target disks, a CD-ROM drive, the network-library state file and a
simulated NetWorker server with its store. See README.md for the layout and the options."""

import configparser
import json
import os
import random
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import wineprefix

TOOLS_WIN = "X:\\PROGRA~1\\Legato\\nsr\\bin"
HOST_WIN = "X:\\Program Files\\Velmora\\HALVO"
CONFIG_WIN = "X:\\Program Files\\Velmora\\HALVOCFG"
LOGS_WIN = HOST_WIN + "\\Logfiles"
NET_STATE_NAME = "halvo_nm_state.ini"
HOST_DLLS = ("CVEX.DLL", "halvo_nm.dll")
TOOL_NAMES = ("recover.exe", "mminfo.exe", "nsradmin.exe", "nsrexecd.exe", "nsrports.exe", "nwinstcreate.exe")
RESERVED_LETTERS = {"C": "C: is Wine's own system drive (drive_c of the sandbox's prefix) and is always there",
                    "X": "X: is the recovery environment", "Z": "Z: is the Linux root, used for build-tree paths"}
SERVER_PORT = 7937
MANIFEST = "sandbox.json"

DEFAULT_NET_STATE = """# One operational adapter with a DHCP lease, as a freshly started recovery environment has.
[Adapter]
Name={5E0C1A52-7D1B-4C3A-9E11-0A0B0C0D0E01}
Description=Velmora Virtual Ethernet Adapter
HwAddr=00-15-5D-01-02-03
Index=11
Status=Up
DhcpIPv4=Yes
DhcpIPv6=No
Address=192.168.10.50/24
Address=fe80::215:5dff:fe01:203/64
Gateway=192.168.10.1
"""


class SandboxError(Exception):
    pass


def repo_dir():
    return os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def win_path(linux_path):
    """A Linux path as Wine sees it through drive Z:."""
    return "Z:" + os.path.abspath(linux_path).replace("/", "\\")


def parse_letters(text):
    letters = []
    if (text or "").strip().lower() == "none":
        return letters
    for item in (text or "").replace(":", "").replace(",", " ").split():
        letter = item.upper()
        if len(letter) != 1 or not "A" <= letter <= "Z":
            raise SandboxError("not a drive letter: %r" % item)
        if letter in RESERVED_LETTERS:
            raise SandboxError("drive %s: cannot be chosen: %s" % (letter, RESERVED_LETTERS[letter]))
        if letter not in letters:
            letters.append(letter)
    return letters


def write_text(path, text, crlf=True):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if crlf:
        text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def merge_ini(base_text, extra_text):
    """Keys of extra_text replace or join those of base_text, section by section (order kept)."""
    sections = {}
    order = []
    for text in (base_text, extra_text):
        current = None
        for raw in text.splitlines():
            line = raw.strip()
            if line.startswith("[") and line.endswith("]"):
                current = line[1:-1].strip().lower()
                if current not in sections:
                    sections[current] = (line, {})
                    order.append(current)
            elif "=" in line and current is not None and not line.startswith((";", "#")):
                key, value = line.split("=", 1)
                sections[current][1][key.strip().lower()] = (key.strip(), value.strip())
    out = []
    for name in order:
        header, keys = sections[name]
        out.append(header)
        out.extend("%s = %s" % kv for kv in keys.values())
        out.append("")
    return "\n".join(out)


class Sandbox:
    """One machine. Attributes are saved in sandbox.json so that another process can run
    programs in it and tear it down."""

    def __init__(self, root, settings):
        self.root = root
        self.s = settings
        self._server = None  # the server's Popen when this process started it
        self._store_job = None  # the store builder while it runs

    # Paths -----------------------------------------------------------------------------------
    @property
    def prefix(self):
        return os.path.join(self.root, "prefix")

    def drive_dir(self, letter):
        return os.path.join(self.root, "drives", letter.lower())

    def linux_path(self, windows_path):
        """Linux path of a path on one of the sandbox's own drives (X:, the target disks, the CD-ROM)."""
        letter = windows_path[:1].upper()
        if windows_path[1:2] != ":" or letter not in self.s["letters"]:
            raise SandboxError("%r is not on a drive of the sandbox" % windows_path)
        rest = windows_path[2:].replace("\\", "/").lstrip("/")
        return os.path.join(self.drive_dir(letter), rest)

    # Building ----------------------------------------------------------------------------------
    @classmethod
    def create(cls, build_dir, name="sb", shape="standard", drives="D", cdrom=None, tools="bin", net=None,
               nwsim_extra=None, store_args="", puts=(), omit=(), keep=False, ipv6=False, read_only=()):
        build_dir = os.path.abspath(build_dir)
        root_parent = os.path.join(build_dir, "sandboxes")
        os.makedirs(root_parent, exist_ok=True)
        letters = ["X"] + parse_letters(drives)
        cd = parse_letters(cdrom)
        if len(cd) > 1 or (cd and cd[0] in letters):
            raise SandboxError("one CD-ROM letter, not also a disk: %r" % cdrom)
        root = tempfile.mkdtemp(prefix=name + "-", dir=root_parent)
        settings = {"build_dir": build_dir, "name": os.path.basename(root), "shape": shape, "disks": letters[1:],
                    "cdrom": cd[0] if cd else "", "letters": letters + cd, "tools": tools, "keep": keep,
                    "server_pid": 0, "server_address": "", "omit": [n.lower() for n in omit],
                    "ipv6": bool(ipv6), "read_only": [], "immutable": []}
        box = cls(root, settings)
        try:
            box._build(net, nwsim_extra, store_args, puts, read_only)
        except BaseException:
            box.destroy(force=True)
            raise
        return box

    @classmethod
    def load(cls, root):
        with open(os.path.join(root, MANIFEST), encoding="utf-8") as f:
            return cls(root, json.load(f))

    def save(self):
        write_text(os.path.join(self.root, MANIFEST), json.dumps(self.s, indent=2) + "\n", crlf=False)

    def _build(self, net, nwsim_extra, store_args, puts, read_only=()):
        self.save()  # from here on, destroy() can find what was started
        store_job = self._store_job = self._start_store_build(store_args)
        template = wineprefix.template_prefix(self.s["build_dir"], repo_dir())
        wineprefix.copy_prefix(template, self.prefix)
        self._make_drives()
        self._lay_out_host(net)
        self._install_tools()
        if store_job:
            _, err = store_job.communicate()
            self._store_job = None
            if store_job.returncode != 0:
                raise SandboxError("store builder failed:\n" + err.decode(errors="replace"))
            self._make_mount_points()
            self._start_server(nwsim_extra)
        elif self.s["tools"] != "none":
            self._write_nwsim_ini("", nwsim_extra)
        for put in puts:
            self.put(*put)
        for windows_path in read_only:
            self.make_read_only(windows_path)
        self.save()

    def _start_store_build(self, store_args):
        if self.s["shape"] == "none":
            return None
        cmd = [sys.executable, os.path.join(repo_dir(), "simulator", "store", "build_store.py"),
               "--out", os.path.join(self.root, "store"), "--shape", self.s["shape"]] + shlex.split(store_args or "")
        return subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def _make_drives(self):
        keys = [("System\\CurrentControlSet\\Control\\MiniNT", {})]
        for letter in self.s["letters"]:
            os.makedirs(self.drive_dir(letter), exist_ok=True)
            wineprefix.map_drive(self.prefix, letter, self.drive_dir(letter))
        if self.s["cdrom"]:
            keys.append(("Software\\Wine\\Drives", {self.s["cdrom"].lower() + ":": "cdrom"}))
        wineprefix.add_machine_keys(self.prefix, keys)

    def _make_mount_points(self):
        """The folders that the backup's mounted volumes hang on ("D:\\Data\\Mount 1"), on the disks
        that are present: the disk-layout stage of a recovery mounts each volume there before any
        restore. Wine has no mounted folders, so each volume is a drive of its own (Y:, then V:, U:,
        T:) and the folder a link to its root, which programs see as a folder on another volume."""
        spare = [l for l in MOUNT_LETTERS if l not in self.s["letters"]]
        mounts = {}
        for root in mounted_folder_roots(os.path.join(self.root, "store", "manifest.ini")):
            if root[0].upper() not in self.s["letters"] or root[0].upper() == "X" or not spare:
                continue
            letter = spare.pop(0)
            volume = self.drive_dir(letter)
            os.makedirs(volume, exist_ok=True)
            wineprefix.map_drive(self.prefix, letter, volume)
            folder = self.linux_path(root)
            os.makedirs(os.path.dirname(folder), exist_ok=True)
            if os.path.isdir(folder) and not os.path.islink(folder):
                os.rmdir(folder)
            os.symlink(volume, folder)
            mounts[root] = letter
        self.s["mounts"] = mounts

    def _lay_out_host(self, net):
        host = self.linux_path(HOST_WIN)
        write_text(os.path.join(host, "hlv.ini"),
                   "[File Locations]\nConfig=%s\nLogfiles=%s\n" % (CONFIG_WIN, LOGS_WIN))
        os.makedirs(self.linux_path(CONFIG_WIN), exist_ok=True)
        os.makedirs(self.linux_path(LOGS_WIN), exist_ok=True)
        bin_dir = os.path.join(self.s["build_dir"], "bin")
        for name in ("trace.ini",) + HOST_DLLS:
            if name.lower() in self.s["omit"]:
                continue
            if os.path.isfile(os.path.join(bin_dir, name)):
                shutil.copy2(os.path.join(bin_dir, name), host)
        state = os.path.join(host, NET_STATE_NAME)
        if net is None:
            write_text(state, DEFAULT_NET_STATE)
        elif net != "none":
            shutil.copyfile(net, state)

    def _install_tools(self):
        target = self.linux_path(TOOLS_WIN)
        os.makedirs(target, exist_ok=True)
        variant = self.s["tools"]
        if variant == "none":
            return
        sim_bin = os.path.join(self.s["build_dir"], "simulator")
        source = os.path.join(sim_bin, "bin" if variant == "x86" else variant)
        missing = [t for t in TOOL_NAMES if not os.path.isfile(os.path.join(source, t))]
        if missing:
            raise SandboxError("simulated client tools not built: %s lacks %s" % (source, ", ".join(missing)))
        for tool in TOOL_NAMES:
            shutil.copy2(os.path.join(source, tool), target)
        if variant == "x86":
            daemon32 = os.path.join(sim_bin, "bin-x86", "nsrexecd.exe")
            if not os.path.isfile(daemon32):
                raise SandboxError("no 32-bit nsrexecd.exe in " + os.path.dirname(daemon32))
            shutil.copy2(daemon32, target)

    def _write_nwsim_ini(self, address, nwsim_extra):
        if self.s["tools"] == "none":
            return
        base = "[nwsim]\nstore = %s\nserver_address = %s\nserver_port = %d\n" % (
            win_path(os.path.join(self.root, "store")), address or "127.0.0.1", SERVER_PORT)
        extra = ""
        if nwsim_extra:
            with open(nwsim_extra, encoding="utf-8") as f:
                extra = f.read()
        write_text(os.path.join(self.linux_path(TOOLS_WIN), "nwsim.ini"), merge_ini(base, extra))

    def nwsim_ini_path(self):
        path = os.path.join(self.linux_path(TOOLS_WIN), "nwsim.ini")
        return path if os.path.isfile(path) else None

    def _start_server(self, nwsim_extra):
        script = os.path.join(repo_dir(), "simulator", "server", "nwsim_server.py")
        for _ in range(1 if self.s.get("ipv6") else 5):
            address = ipv6_loopback_address() if self.s.get("ipv6") else pick_loopback_address()
            self._write_nwsim_ini(address, nwsim_extra)
            ready = os.path.join(self.root, "server.ready")
            cmd = [sys.executable, script, "--store", os.path.join(self.root, "store"), "--address", address,
                   "--port", str(SERVER_PORT), "--ready-file", ready, "--log", os.path.join(self.root, "server.log")]
            if self.nwsim_ini_path():
                cmd += ["--config", self.nwsim_ini_path()]
            with open(os.path.join(self.root, "server.err"), "wb") as err:
                proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err,
                                        start_new_session=True)
            self._server = proc
            self.s.update(server_pid=proc.pid, server_address=address)
            self.save()
            if wait_ready(proc, ready, 15):
                return
            stop_process(proc.pid)
            proc.wait()
            self._server = None
            self.s.update(server_pid=0, server_address="")
        raise SandboxError("the simulated server did not start; see " + os.path.join(self.root, "server.err"))

    # Using it ----------------------------------------------------------------------------------
    def put(self, source, windows_path):
        """Copies a Linux file or folder to a path on a sandbox drive; symbolic links stay links."""
        target = self.linux_path(windows_path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if os.path.isdir(source):
            shutil.copytree(source, target, symlinks=True, dirs_exist_ok=True)
        else:
            shutil.copy2(source, target)

    def make_read_only(self, windows_path):
        """Makes a folder (created when missing) or a file on a sandbox drive read-only: no write
        permission, which Wine shows as FILE_ATTRIBUTE_READONLY, and, when we are root (whom the
        permission does not stop), the immutable flag, so that nothing can be created in it."""
        target = self.linux_path(windows_path)
        if not os.path.exists(target):
            os.makedirs(target)
        mode = os.stat(target).st_mode
        os.chmod(target, mode & ~0o222)
        self.s["read_only"].append(target)
        if os.geteuid() == 0:
            if subprocess.run(["chattr", "+i", target], stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE).returncode != 0:
                raise SandboxError("cannot make %s immutable (chattr +i)" % target)
            self.s["immutable"].append(target)
        self.save()

    def _undo_read_only(self):
        for target in self.s.get("immutable", []):
            subprocess.run(["chattr", "-i", target], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for target in self.s.get("read_only", []):
            if os.path.exists(target):
                os.chmod(target, os.stat(target).st_mode | 0o200)
        self.s["immutable"] = []
        self.s["read_only"] = []

    def environment(self):
        return wineprefix.wine_env(self.prefix, {
            "HALVO_NM_STATE": HOST_WIN + "\\" + NET_STATE_NAME,
            "CVEX_SANDBOX": self.s["name"],
            "CVEX_SANDBOX_DISKS": "".join(self.s["disks"]),
            "CVEX_SANDBOX_CDROM": self.s["cdrom"],
            "CVEX_SANDBOX_SERVER": self.s["server_address"],
            "CVEX_SANDBOX_TOOLS": self.s["tools"],
            "CVEX_SANDBOX_NETNS": os.environ.get("CVEX_SANDBOX_NETNS", ""),
        })

    def run(self, program, args, timeout=None, in_place=False):
        """Runs a Windows program in the sandbox; the program is first copied into the host
        folder (so that it finds hlv.ini, CVEX.DLL and halvo_nm.dll beside itself) unless
        in_place. Returns its exit code (124 when it ran out of time)."""
        host = self.linux_path(HOST_WIN)
        if in_place:
            exe = program
        else:
            shutil.copy2(program, host)
            exe = HOST_WIN + "\\" + os.path.basename(program)
        proc = subprocess.Popen(["wine", exe] + list(args), cwd=host, env=self.environment())
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            wineprefix.kill_wine(self.prefix)
            proc.wait()
            return 124

    # Tear-down ---------------------------------------------------------------------------------
    def destroy(self, force=False):
        """Ends every process the sandbox started; removes it unless it is to be kept."""
        if self._store_job:  # interrupted while building
            self._store_job.kill()
            self._store_job.communicate()
            self._store_job = None
        wineprefix.kill_wine(self.prefix)
        if self.s.get("server_pid"):
            stop_process(self.s["server_pid"])
            self.s["server_pid"] = 0
        if self._server:
            self._server.wait()
            self._server = None
        self._undo_read_only()
        if self.s.get("keep") and not force:
            self.save()
            return
        shutil.rmtree(self.root, ignore_errors=True)


# Drive letters of the volumes mounted in folders (never a target disk of a test, nor C:, S:, Q:).
MOUNT_LETTERS = ["Y", "V", "U", "T"]


def mounted_folder_roots(manifest):
    """Roots of the store's filespace savesets that are folders below a drive root."""
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.read(manifest, encoding="utf-8")
    roots = set()
    for section in parser.sections():
        root = parser[section].get("root", "")
        if parser[section].get("kind") == "filesystem" and len(root) > 3 and root[1:3] == ":\\":
            roots.add(root.rstrip("\\"))
    return sorted(roots)


def pick_loopback_address():
    """A random 127.x.y.z (never 127.0.0.1) whose port 7937 is free right now."""
    rng = random.SystemRandom()
    for _ in range(100):
        address = "127.%d.%d.%d" % (rng.randint(1, 254), rng.randint(0, 255), rng.randint(2, 254))
        probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            probe.bind((address, SERVER_PORT))
            return address
        except OSError:
            continue
        finally:
            probe.close()
    raise SandboxError("no free loopback address for the simulated server")


def ipv6_loopback_address():
    """::1, when its port 7937 is free: there is only one IPv6 loopback address, so two machines on
    ::1 need a network namespace each (--netns)."""
    probe = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
    try:
        probe.bind(("::1", SERVER_PORT))
    except OSError as e:
        raise SandboxError("[::1]:%d is not free (%s); run the machine in a network namespace of its own "
                           "(--netns)" % (SERVER_PORT, e))
    finally:
        probe.close()
    return "::1"


def wait_ready(proc, ready_file, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(ready_file):
            return True
        if proc.poll() is not None:
            return False
        time.sleep(0.02)
    return False


def stop_process(pid, grace=5.0):
    """SIGTERM, then SIGKILL after the grace time; the process and its group."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(pid, sig)
        except ProcessLookupError:
            return
        except PermissionError:
            os.kill(pid, sig)
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline:
            try:
                done, _ = os.waitpid(pid, os.WNOHANG)
                if done == pid:
                    return
            except ChildProcessError:
                if not os.path.exists("/proc/%d" % pid):
                    return
            time.sleep(0.02)
