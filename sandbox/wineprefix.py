"""The sandbox's own Wine prefix: a copy of the build tree's template, registry edits made in
the registry files before Wine first starts, and ending every Wine process of the prefix."""

import os
import shutil
import subprocess
import time

TEMPLATE_DIR = "sandbox-template"


def template_prefix(build_dir, repo_dir):
    """The template prefix of this build tree, created on first use (safe in parallel)."""
    prefix = os.path.join(build_dir, TEMPLATE_DIR)
    subprocess.run([os.path.join(repo_dir, "scripts", "make-wineprefix.sh"), prefix], check=True,
                   stdout=subprocess.DEVNULL)
    return prefix


def copy_prefix(template, prefix):
    # A full copy, not hard links: a restore that overwrites a file under C:\windows must not
    # reach the template (and through it every other sandbox).
    subprocess.run(["cp", "-a", template, prefix], check=True)


def _reg_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def add_machine_keys(prefix, keys):
    """Appends keys to the prefix's system.reg (HKLM). Wine must not be running on the prefix.
    keys: list of (key path below HKLM, {value name: string data})."""
    stamp = int(time.time())
    lines = []
    for key, values in keys:
        lines.append("\n[%s] %d\n" % (_reg_escape(key), stamp))
        for name, data in values.items():
            lines.append('"%s"="%s"\n' % (_reg_escape(name), _reg_escape(data)))
    with open(os.path.join(prefix, "system.reg"), "a", encoding="utf-8") as f:
        f.writelines(lines)


def map_drive(prefix, letter, target):
    link = os.path.join(prefix, "dosdevices", letter.lower() + ":")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(os.path.abspath(target), link)


def wine_env(prefix, extra=None):
    env = dict(os.environ)
    env.update({"WINEPREFIX": prefix, "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"})
    env.update(extra or {})
    return env


def server_socket_dir(prefix):
    """Where wineserver keeps its socket for this prefix: a folder named after the prefix's
    device and inode, below /tmp/.wine-UID or (Debian's Wine) below the /tmp folder that the
    file "wineserver" in the prefix names."""
    st = os.stat(prefix)
    parent = "/tmp/.wine-%d" % os.getuid()
    try:
        with open(os.path.join(prefix, "wineserver"), encoding="utf-8") as f:
            name = f.read().strip()
        if name and "/" not in name:
            parent = os.path.join("/tmp", name)
    except OSError:
        pass
    return os.path.join(parent, "server-%x-%x" % (st.st_dev, st.st_ino))


def kill_wine(prefix):
    """Ends every Wine process of the prefix and waits until its wineserver has gone."""
    if not os.path.isdir(prefix):
        return
    socket_dir = server_socket_dir(prefix)
    # Without a running wineserver, "wineserver -w" would start one and wait for it to time out.
    if os.path.exists(os.path.join(socket_dir, "socket")):
        env = wine_env(prefix)
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(socket_dir, ignore_errors=True)


def processes_of(path):
    """Pids of the processes whose environment or command line mentions path (for checks)."""
    found = []
    needle = path.encode()
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        for name in ("environ", "cmdline"):
            try:
                with open("/proc/%s/%s" % (pid, name), "rb") as f:
                    if needle in f.read():
                        found.append(int(pid))
                        break
            except OSError:
                pass
    return found
