"""The simulated backup store: one manifest plus one object list and data tree per saveset.

Layout of a store folder:
  manifest.ini              server, clients and savesets (profile-file syntax, see README.md)
  objects/<ssid>.txt        one line per backed-up object of that saveset
  data/<ssid>/<path>        the contents of every file object; <path> is the object's path with
                            the colon dropped and "\\" turned into "/" (C:\\a\\b -> C/a/b)

Both the store builder and the server use this module; the client tools read the same files
with their own reader (simulator/common/store.*).
"""

import configparser
import datetime
import os

MANIFEST = "manifest.ini"
TIME_FORMAT = "%Y-%m-%d %H:%M:%S"


class Obj:
    """One object of a saveset: a folder (kind "d") or a file (kind "f") with its data."""

    def __init__(self, kind, path, mtime, attrs="A", password="", data=b""):
        self.kind = kind
        self.path = path
        self.mtime = mtime
        self.attrs = attrs
        self.password = password
        self.data = data

    def line(self):
        return "%s %s %s %s %s" % (self.kind, self.attrs or "-", self.mtime.strftime(TIME_FORMAT),
                                   self.password or "-", self.path)


class Saveset:
    """One saveset of a client. kind: filesystem | writer | legacy | nmm | dr."""

    def __init__(self, ssid, client, name, savetime, kind="filesystem", root="", level="full",
                 volume="nwsrv.001", media="Data Domain", flags="vF", browse=True, direct="", clones=()):
        self.ssid = ssid
        self.client = client
        self.name = name
        self.savetime = savetime
        self.kind = kind
        self.root = root or name
        self.level = level
        self.volume = volume
        self.media = media
        self.flags = flags
        self.browse = browse
        # Writer savesets: objects below this folder (path without drive) bypass the staging folder.
        self.direct = direct
        # Read-only clone volumes that hold a copy (the media report lists the saveset once per volume).
        self.clones = list(clones)
        self.objects = []

    def size(self):
        return sum(len(o.data) for o in self.objects)


class Client:
    def __init__(self, name, addresses, version):
        self.name = name
        self.addresses = addresses
        self.version = version


class Store:
    def __init__(self, server_name, server_version, build="142"):
        self.server_name = server_name
        self.server_version = server_version
        self.build = build
        self.clients = []
        self.savesets = []

    def client(self, name):
        for c in self.clients:
            if c.name.lower() == name.lower():
                return c
        return None


def quote(value):
    """Values with leading or trailing blanks are written in double quotes."""
    return '"%s"' % value if value != value.strip() else value


def unquote(value):
    if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
        return value[1:-1]
    return value


def data_path(store_dir, ssid, obj_path):
    """Where the contents of one object live in the store."""
    rel = obj_path[0] + obj_path[2:] if len(obj_path) > 1 and obj_path[1] == ":" else obj_path
    rel = rel.replace("%", "").strip("\\").replace("\\", "/")
    return os.path.join(store_dir, "data", str(ssid), rel)


def write_store(store, store_dir):
    os.makedirs(os.path.join(store_dir, "objects"), exist_ok=True)
    os.makedirs(os.path.join(store_dir, "data"), exist_ok=True)
    out = ["; Simulated NetWorker backup store. Edit freely; see simulator/README.md.", "",
           "[server]", "name = %s" % store.server_name, "version = %s" % store.server_version,
           "build = %s" % store.build, ""]
    for c in store.clients:
        out += ["[client %s]" % c.name, "addresses = %s" % ", ".join(c.addresses),
                "version = %s" % c.version, ""]
    for s in store.savesets:
        out += ["[saveset %s]" % s.ssid, "client = %s" % s.client, "name = %s" % quote(s.name),
                "kind = %s" % s.kind, "root = %s" % quote(s.root), "level = %s" % s.level,
                "savetime = %s" % s.savetime.strftime(TIME_FORMAT), "volume = %s" % s.volume,
                "media = %s" % s.media, "flags = %s" % s.flags, "size = %d" % s.size(),
                "browse = %s" % ("yes" if s.browse else "no")]
        out += (["direct = %s" % s.direct] if s.direct else [])
        out += (["clones = %s" % ", ".join(s.clones)] if s.clones else []) + [""]
        _write_objects(store_dir, s)
    with open(os.path.join(store_dir, MANIFEST), "w", newline="\r\n") as f:
        f.write("\n".join(out))


def _write_objects(store_dir, saveset):
    lines = ["; kind attributes date time password path"]
    for o in saveset.objects:
        lines.append(o.line())
        target = data_path(store_dir, saveset.ssid, o.path)
        if o.kind == "d":
            os.makedirs(target, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as f:
                f.write(o.data)
    with open(os.path.join(store_dir, "objects", "%s.txt" % saveset.ssid), "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def read_manifest(store_dir):
    """Server, clients and savesets of a store (objects are not read). Raises ValueError."""
    parser = configparser.ConfigParser(interpolation=None, delimiters=("=",),
                                       comment_prefixes=(";", "#"), strict=False)
    try:
        with open(os.path.join(store_dir, MANIFEST), encoding="utf-8", errors="replace") as f:
            parser.read_file(f)
    except (OSError, configparser.Error) as e:
        raise ValueError("cannot read the store manifest: %s" % e)
    if not parser.has_section("server"):
        raise ValueError("the store manifest has no [server] section")
    srv = parser["server"]
    store = Store(srv.get("name", "nwsrv"), srv.get("version", "19.4.0.1"), srv.get("build", "1"))
    for section in parser.sections():
        if section.lower().startswith("client "):
            c = parser[section]
            store.clients.append(Client(section[7:].strip(),
                                        [a.strip() for a in c.get("addresses", "").split(",") if a.strip()],
                                        c.get("version", "")))
        elif section.lower().startswith("saveset "):
            store.savesets.append(_read_saveset(section[8:].strip(), parser[section]))
    return store


def _read_saveset(ssid, sec):
    try:
        when = datetime.datetime.strptime(sec.get("savetime", ""), TIME_FORMAT)
    except ValueError:
        when = datetime.datetime(1970, 1, 1)
    return Saveset(ssid, sec.get("client", ""), unquote(sec.get("name", "")), when,
                   kind=sec.get("kind", "filesystem"), root=unquote(sec.get("root", "")),
                   browse=sec.get("browse", "yes").lower() == "yes")
