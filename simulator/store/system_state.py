"""Where the system-state objects of a backup end up after a full system restore, and the places
they pass through on the way (staging folder, repair folder, "_NSR" names, the boot folder).

Used by verify_restore.py --system-state. The final places:
  writer savesets      their original paths (recover stages them, the restore moves them out);
                       below the saveset's direct folder: names without a dot (the hives) in
                       <Windows>\\System32\\config\\, names with a dot stay in the repair folder;
                       %SystemDrive%\\boot_restored-*\\ merged into <system>:\\Boot, bootmgr at <system>:\\
  legacy savesets      their original paths; SYSTEM STATE's "..._NSR" hives without the first "_NSR"
  nmm, dr (OSSR_)      their original paths
  QERNCFG\\BOOT\\, \\SYSTEM\\ of the Windows volume's backup: at the root of the Windows, system volume
Components apply in backup-time order (later wins), the QERNCFG copies last.
"""

import configparser
import os

import nwstore

# Savesets the restore leaves alone.
NOT_RESTORED = ("ASR:\\", "VSS ASR DISK:\\", "WINDOWS ROLES AND FEATURES:\\")
SYSTEM_KINDS = ("writer", "legacy", "nmm", "dr")
STAGING = "\\temp\\nsr_recover\\"
REPAIR = "\\repair\\"


def components(store, client, pit):
    """The system-state savesets a restore brings back, in backup-time order: per name the newest
    not later than pit. NMM savesets only count when the client has no other system state (the
    listing looks for them only then)."""
    newest = {}
    for s in store.savesets:
        if s.client.lower() != client.lower() or s.kind not in SYSTEM_KINDS or s.name.upper() in NOT_RESTORED:
            continue
        if s.kind == "dr" and not s.name.upper().startswith("OSSR_"):
            continue
        if pit and s.savetime > pit:
            continue
        key = s.name.lower()
        if key not in newest or s.savetime >= newest[key].savetime:
            newest[key] = s
    chosen = list(newest.values())
    if any(s.kind != "nmm" for s in chosen):
        chosen = [s for s in chosen if s.kind != "nmm"]
    return sorted(chosen, key=lambda s: (s.savetime, int(s.ssid)))


def config_saveset(store_dir, store, client, pit):
    """The newest backup of a drive root not later than pit that holds QERNCFG\\disrec.ini."""
    best = None
    for s in store.savesets:
        if s.client.lower() != client.lower() or s.kind != "filesystem" or len(s.root) > 3:
            continue
        if (pit and s.savetime > pit) or (best and s.savetime <= best.savetime):
            continue
        if os.path.isfile(nwstore.data_path(store_dir, s.ssid, s.root[0] + ":\\QERNCFG\\disrec.ini")):
            best = s
    return best


def letters_from_config(store_dir, saveset):
    """(Windows letter, system letter) as the configuration summary of that backup says; "" each
    when it cannot be read."""
    if saveset is None:
        return "", ""
    path = saveset.root[0] + ":\\QERNCFG\\disrec.ini"
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    try:
        with open(nwstore.data_path(store_dir, saveset.ssid, path), encoding="utf-8") as f:
            parser.read_file(f)
        windir = parser["WinDir"]
    except (OSError, KeyError, configparser.Error):
        return "", ""
    win = windir.get("DriveLetter", "").strip().upper()
    system = windir.get("EFIDriveLetter", "").strip() or windir.get("BootDriveLetter", "").strip() or win
    return win, system.upper()


def copies_system_files(store_dir, saveset):
    """False for a GPT system disk: the restore then copies no QERNCFG\\SYSTEM files."""
    if saveset is None:
        return True
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    try:
        with open(nwstore.data_path(store_dir, saveset.ssid, saveset.root[0] + ":\\QERNCFG\\disrec.ini"),
                  encoding="utf-8") as f:
            parser.read_file(f)
    except (OSError, configparser.Error):
        return True
    return parser.get("PhysicalDrive0", "PartitionStyle", fallback="0").strip() != "1"


def _without_first(path, text):
    i = path.upper().find(text)
    return path if i < 0 else path[:i] + path[i + len(text):]


def _leaf(path):
    return path.rstrip("\\").rsplit("\\", 1)[-1]


class Places:
    """Expected final objects {lower path: (kind, path, digest)} and interim places that must be
    empty of what passed through them ({lower path: (path, why)})."""

    def __init__(self, system_letter, copy_system=True):
        self.system = system_letter
        self.system_copy = system_letter if copy_system else ""
        self.final = {}
        self.interim = {}

    def put(self, kind, path, digest):
        self.final[path.rstrip("\\").lower()] = (kind, path, digest)

    def passed(self, path, why):
        self.interim[path.lower()] = (path, why)

    def writer(self, s, kind, path, digest):
        if path.upper().startswith("%SYSTEMDRIVE%\\BOOT_RESTORED-"):
            rest = path.split("\\", 2)[2] if path.count("\\") >= 2 else ""
            boot = self.system + ":\\Boot\\" + rest
            if kind == "f" and rest.lower() == "bootmgr":
                self.passed(boot, "bootmgr left in the boot folder")
                boot = self.system + ":\\bootmgr"
            self.put(kind, boot, digest)
            return
        if path.startswith("%"):
            return
        direct = s.direct and path[2:].lower().startswith(s.direct.lower())
        if direct and kind == "f" and "." not in _leaf(path):
            windir = path[:2] + s.direct[:s.direct.lower().find(REPAIR)]
            self.passed(path, "a hive left in the repair folder")
            self.put(kind, windir + "\\System32\\config\\" + _leaf(path), digest)
            return
        self.put(kind, path, digest)

    def legacy(self, s, kind, path, digest):
        parent = path.rstrip("\\").rsplit("\\", 1)[0].lower()
        if s.name.upper().startswith("SYSTEM STATE") and kind == "f" and parent.endswith("\\system32\\config") \
                and "_NSR" in path.upper():
            self.passed(path, "an \"_NSR\" hive left under its backup name")
            path = _without_first(path, "_NSR")
        self.put(kind, path, digest)

    def qerncfg(self, store_dir, saveset, windows):
        if saveset is None:
            return
        digests = nwstore.read_digests(store_dir, saveset.ssid)
        for kind, path in nwstore.read_objects(store_dir, saveset.ssid):
            for folder, letter in (("\\QERNCFG\\BOOT\\", windows), ("\\QERNCFG\\SYSTEM\\", self.system_copy)):
                i = path.upper().find(folder)
                if i == 2 and kind == "f" and letter:
                    self.put(kind, letter + ":\\" + path[i + len(folder):], digests.get(path))


def expected_places(store_dir, store, client, pit, windows, system):
    config = config_saveset(store_dir, store, client, pit)
    places = Places(system, copies_system_files(store_dir, config))
    for s in components(store, client, pit):
        digests = nwstore.read_digests(store_dir, s.ssid)
        for kind, path in nwstore.read_objects(store_dir, s.ssid):
            if s.kind == "writer":
                places.writer(s, kind, path, digests.get(path))
            elif s.kind == "legacy":
                places.legacy(s, kind, path, digests.get(path))
            else:
                places.put(kind, path, digests.get(path))
    # The copies of QERNCFG run last; a folder of it that a component also wrote stays a folder.
    places.qerncfg(store_dir, config, windows)
    for key in list(places.interim):
        if key in places.final:
            del places.interim[key]
    return places


def _child(folder, name):
    """The entry of folder named name without regard to case (Wine may have made either)."""
    if not os.path.isdir(folder):
        return None
    for entry in os.listdir(folder):
        if entry.lower() == name:
            return os.path.join(folder, entry)
    return None


def staging_leftovers(drive_dir, letter):
    """Files still below the staging root <letter>:\\temp\\nsr_recover (Windows paths)."""
    root = _child(_child(drive_dir, "temp") or "", "nsr_recover")
    left = []
    for here, _, files in os.walk(root) if root else ():
        rel = os.path.relpath(here, drive_dir).replace("/", "\\")
        left += [letter + ":\\" + rel + "\\" + f for f in sorted(files)]
    return left
