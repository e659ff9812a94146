"""The simulated backup store: one manifest plus one object list and data tree per saveset.

Layout of a store folder:
  manifest.ini              server, clients and savesets (profile-file syntax, see README.md)
  objects/<ssid>.txt        one line per backed-up object of that saveset
  data/<ssid>/<path>        the contents of every file object; <path> is the object's path with
                            the colon dropped and "\\" turned into "/" (C:\\a\\b -> C/a/b)
  digests/<ssid>.txt        one line per file object: SHA-256, size, time stamp, attributes, path
                            (what verify_restore.py compares a restored drive with)

Both the store builder and the server use this module; the client tools read the same files
with their own reader (simulator/common/store.*).
"""

import configparser
import datetime
import hashlib
import os

MANIFEST = "manifest.ini"
TIME_FORMAT = "%Y-%m-%d %H:%M:%S"


class Obj:
    """One object of a saveset: a folder (kind "d") or a file (kind "f") with its data."""

    def __init__(self, kind, path, mtime, attrs="A", password="", data=b"", sparse_size=0):
        self.kind = kind
        self.path = path
        self.mtime = mtime
        self.attrs = attrs
        self.password = password
        self.data = data
        # A file of this size whose data is a hole between the head (data) and a short tail: the
        # store holds it as a sparse file, so that files over 4 GiB cost no disk space.
        self.sparse_size = sparse_size

    def size(self):
        return self.sparse_size or len(self.data)

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
        # A list, or a callable that yields the objects (for stores too big to hold in memory).
        self.objects = []
        self.written_size = 0

    def each_object(self):
        return self.objects() if callable(self.objects) else iter(self.objects)

    def size(self):
        return sum(o.size() for o in self.each_object())


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


def sparse_tail(obj):
    return ("\r\nend of %s\r\n" % obj.path).encode("utf-8")


def write_store(store, store_dir):
    for d in ("objects", "data", "digests"):
        os.makedirs(os.path.join(store_dir, d), exist_ok=True)
    for s in store.savesets:
        s.written_size = _write_objects(store_dir, s)
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
                "media = %s" % s.media, "flags = %s" % s.flags, "size = %d" % s.written_size,
                "browse = %s" % ("yes" if s.browse else "no")]
        out += (["direct = %s" % s.direct] if s.direct else [])
        out += (["clones = %s" % ", ".join(s.clones)] if s.clones else []) + [""]
    with open(os.path.join(store_dir, MANIFEST), "w", newline="\r\n") as f:
        f.write("\n".join(out))


def _write_objects(store_dir, saveset):
    """Writes the object list, the data and the digests of one saveset; returns its size in bytes."""
    made = set()
    total = 0
    name = "%s.txt" % saveset.ssid
    with open(os.path.join(store_dir, "objects", name), "w", newline="\r\n", encoding="utf-8") as objects, \
            open(os.path.join(store_dir, "digests", name), "w", newline="\r\n", encoding="utf-8") as digests:
        objects.write("; kind attributes date time password path\n")
        digests.write("; sha256 size date time attributes path\n")
        for o in saveset.each_object():
            objects.write(o.line() + "\n")
            target = data_path(store_dir, saveset.ssid, o.path)
            if o.kind == "d":
                _make_dirs(target, made)
                continue
            _make_dirs(os.path.dirname(target), made)
            digest = _write_data(target, o)
            total += o.size()
            digests.write("%s %d %s %s %s\n" % (digest, o.size(), o.mtime.strftime(TIME_FORMAT), o.attrs or "-",
                                                o.path))
    return total


def _make_dirs(path, made):
    if path not in made:
        os.makedirs(path, exist_ok=True)
        made.add(path)


def _write_data(target, obj):
    """Writes one file's data; returns its SHA-256 (hex)."""
    with open(target, "wb") as f:
        f.write(obj.data)
        if not obj.sparse_size:
            return hashlib.sha256(obj.data).hexdigest()
        tail = sparse_tail(obj)
        f.seek(obj.sparse_size - len(tail))
        f.write(tail)
    h = hashlib.sha256(obj.data)
    hole = obj.sparse_size - len(obj.data) - len(tail)
    zeros = bytes(1 << 20)
    while hole > 0:
        h.update(zeros[:min(hole, len(zeros))])
        hole -= len(zeros)
    h.update(tail)
    return h.hexdigest()


def read_digests(store_dir, ssid):
    """{path: (sha256, size, mtime, attrs)} of one saveset's files; {} when the store has none."""
    result = {}
    try:
        with open(os.path.join(store_dir, "digests", "%s.txt" % ssid), encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError:
        return result
    for line in lines:
        fields = line.split(" ", 5)
        if line.startswith(";") or len(fields) < 6:
            continue
        try:
            when = datetime.datetime.strptime(fields[2] + " " + fields[3], TIME_FORMAT)
            result[fields[5]] = (fields[0], int(fields[1]), when, fields[4])
        except ValueError:
            continue
    return result


def read_objects(store_dir, ssid):
    """[(kind, path)] of one saveset's object list, in order; malformed lines are skipped."""
    result = []
    try:
        with open(os.path.join(store_dir, "objects", "%s.txt" % ssid), encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError:
        return result
    for line in lines:
        fields = line.split(" ", 5)
        if line.startswith(";") or len(fields) < 6 or fields[0] not in ("d", "f"):
            continue
        result.append((fields[0], fields[5]))
    return result


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
                   browse=sec.get("browse", "yes").lower() == "yes", direct=sec.get("direct", ""))
