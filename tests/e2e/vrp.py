"""Making package files for end-to-end tests.

Two ways in:

* `make_package` / `make_bundle` write a manifest and a folder tree into a fresh temporary
  folder and run the real `mkvrp` on them, so the packages are exactly what builders make:

      pkg = vrp.make_package(tmp_path, "system", "3.0rc5",
                             files={"/etc/hosts": "127.0.0.1 localhost\n",
                                    "/bin/sh": vrp.Symlink("busybox"),
                                    "/dev/ttyS0": vrp.Device("c", 4, 64, mode=0o620),
                                    "/var/run": vrp.Dir(mode=0o750)},
                             depends=[("libc", "2.0", None)])

* The raw builders (`part`, `container`, `file_record`, `raw_package`, ...) assemble any byte
  layout in Python, including ones mkvrp refuses to write (truncated data, corrupt zlib, wrong
  device sizes, unknown file types, ".." paths), and `split_parts` takes a package apart so a
  test can change one part and put it back together.

Every file gets the same modification time (BUILD_TIME) and, unless an entry sets its own uid/gid,
owner 0:0, so packages are reproducible.
"""

import os
import pathlib
import stat
import struct
import subprocess
import tempfile
import zlib

PACKAGE_MAGIC = 0xBAD0F11E
PACKAGE_MAGIC_NODB = 0xA1100FFB

PART_PACKAGE = 1
PART_DESCRIPTION = 2
PART_DEPENDENCIES = 3
PART_FILES = 4
PART_INSTALL_SCRIPT = 7
PART_UNINSTALL_SCRIPT = 8
PART_ARCHITECTURE = 16
PART_CONFLICTS = 17
PART_BUNDLE = 18
PART_PROVIDES = 19
PART_BUNDLE_NAMES = 20

TYPE_FIFO = 0o010000
TYPE_CHAR_DEVICE = 0o020000
TYPE_DIRECTORY = 0o040000
TYPE_BLOCK_DEVICE = 0o060000
TYPE_REGULAR = 0o100000
TYPE_SYMLINK = 0o120000
TYPE_SOCKET = 0o140000

BUILD_TIME = 1700000000


def build_dir():
    return pathlib.Path(os.environ.get("ROUTER_BUILD_DIR", pathlib.Path(__file__).resolve().parents[2] / "build"))


def mkvrp_path():
    return build_dir() / "tools" / "mkvrp" / "mkvrp"


def run_mkvrp(*args, input=None, check=False):
    """Runs mkvrp with the given arguments; returns the CompletedProcess (text output)."""
    return subprocess.run([str(mkvrp_path()), *map(str, args)], input=input, capture_output=True,
                          text=isinstance(input, str) or input is None, check=check)


def list_package(path):
    """The listing of a package file (mkvrp list); raises when mkvrp finds it broken."""
    return run_mkvrp("list", path, check=True).stdout


# ---- entries of a tree ------------------------------------------------------------------------

class File:
    def __init__(self, content=b"", mode=0o644, mtime=BUILD_TIME, uid=None, gid=None):
        self.content = content.encode() if isinstance(content, str) else content
        self.mode, self.mtime, self.uid, self.gid = mode, mtime, uid, gid


class Dir:
    def __init__(self, mode=0o755, mtime=BUILD_TIME, uid=None, gid=None):
        self.mode, self.mtime, self.uid, self.gid = mode, mtime, uid, gid


class Symlink:
    def __init__(self, target, mtime=BUILD_TIME, uid=None, gid=None):
        self.target, self.mtime, self.uid, self.gid = target, mtime, uid, gid


class Fifo:
    def __init__(self, mode=0o644, mtime=BUILD_TIME, uid=None, gid=None):
        self.mode, self.mtime, self.uid, self.gid = mode, mtime, uid, gid


class Device:
    """kind "c" or "b". Making one needs root (mknod)."""

    def __init__(self, kind, major, minor, mode=0o600, mtime=BUILD_TIME, uid=None, gid=None):
        assert kind in ("c", "b")
        self.kind, self.major, self.minor = kind, major, minor
        self.mode, self.mtime, self.uid, self.gid = mode, mtime, uid, gid


def can_make_devices():
    return os.geteuid() == 0


def write_tree(root, files):
    """Creates the entries of `files` ({"/path": str | bytes | File | Dir | Symlink | Fifo | Device})
    below root; missing parent folders become Dir(). Returns True when some entry sets its own owner."""
    root = pathlib.Path(root)
    root.mkdir(parents=True, exist_ok=True)
    made = {}
    for name, entry in files.items():
        if isinstance(entry, (str, bytes)):
            entry = File(entry)
        relative = name.lstrip("/")
        parts = relative.split("/")
        for depth in range(1, len(parts)):
            parent = "/".join(parts[:depth])
            if parent not in made and parent not in (n.lstrip("/") for n in files):
                made[parent] = Dir()
        made[relative] = entry
    own_owner = False
    # Parents first when creating, children first when setting times: making an entry touches its folder.
    for relative in sorted(made, key=lambda r: r.count("/")):
        entry, path = made[relative], root / relative
        if isinstance(entry, Dir):
            path.mkdir(exist_ok=True)
        elif isinstance(entry, File):
            path.write_bytes(entry.content)
        elif isinstance(entry, Symlink):
            os.symlink(entry.target, path)
        elif isinstance(entry, Fifo):
            os.mkfifo(path)
        elif isinstance(entry, Device):
            kind = stat.S_IFCHR if entry.kind == "c" else stat.S_IFBLK
            os.mknod(path, kind | entry.mode, os.makedev(entry.major, entry.minor))
        else:
            raise TypeError(f"unknown tree entry for {relative}: {entry!r}")
    for relative in sorted(made, key=lambda r: -r.count("/")):
        entry, path = made[relative], root / relative
        if entry.uid is not None or entry.gid is not None:
            own_owner = True
            os.lchown(path, entry.uid if entry.uid is not None else 0, entry.gid if entry.gid is not None else 0)
        if not isinstance(entry, Symlink):
            os.chmod(path, entry.mode)
        os.utime(path, (entry.mtime, entry.mtime), follow_symlinks=False)
    return own_owner


# ---- manifests and mkvrp ----------------------------------------------------------------------

def _bound(value):
    return "-" if value in (None, 0, "") else str(value)


def _relation_lines(key, entries):
    lines = []
    for entry in entries:
        if isinstance(entry, str):
            entry = (entry,)
        name, rest = entry[0], list(entry[1:])
        words = [name] + [_bound(v) if i < 2 else str(v) for i, v in enumerate(rest)]
        lines.append(f"{key} {' '.join(words)}")
    return lines


def _package_lines(folder, index, name, version, files=None, build_time=BUILD_TIME, architecture=None,
                   depends=(), provides=(), conflicts=(), install_script=None, uninstall_script=None,
                   description=None):
    lines = [f"name {name}", f"version {version}"]
    if build_time is not None:
        lines.append(f"build-time {build_time}")
    if architecture is not None:
        lines.append(f"architecture {architecture}")
    if description is not None:
        lines += [f"description {line}" for line in description.split("\n")]
    lines += _relation_lines("depends", depends)
    lines += _relation_lines("provides", provides)
    lines += _relation_lines("conflicts", conflicts)
    own_owner = False
    for key, script in (("install-script", install_script), ("uninstall-script", uninstall_script)):
        if script is not None:
            script_path = folder / f"{key}-{index}"
            script_path.write_bytes(script.encode() if isinstance(script, str) else script)
            lines.append(f"{key} {script_path.name}")
    if files is not None:
        own_owner = write_tree(folder / f"tree-{index}", files)
        lines.append(f"tree tree-{index}")
    return lines, own_owner


def build_manifest(folder, manifest_text, output, owner="0:0"):
    """Writes manifest_text to folder/manifest and runs mkvrp; raises with mkvrp's message on failure."""
    folder = pathlib.Path(folder)
    (folder / "manifest").write_text(manifest_text)
    args = ["build"] + (["--owner", owner] if owner else []) + [folder / "manifest", output]
    result = run_mkvrp(*args)
    if result.returncode != 0:
        raise RuntimeError(f"mkvrp failed ({result.returncode}): {result.stderr}")
    return pathlib.Path(output)


def make_package(directory, name, version, *, output=None, nodb=False, owner="0:0", **fields):
    """Builds one package with mkvrp; returns the path of the .vrp file (in `directory` unless
    `output` names it). fields: files, build_time, architecture, depends, provides, conflicts
    (lists of names or tuples NAME, MIN, MAX[, EXTRA] with version text or None for no bound),
    install_script, uninstall_script, description."""
    directory = pathlib.Path(directory)
    folder = pathlib.Path(tempfile.mkdtemp(prefix=f"{name}-", dir=directory))
    lines, own_owner = _package_lines(folder, 0, name, version, **fields)
    if nodb:
        lines.append("nodb yes")
    output = output or directory / f"{name}-{version}.vrp"
    return build_manifest(folder, "\n".join(lines) + "\n", output, None if own_owner else owner)


def member(name, version, **fields):
    """One package of a bundle, for make_bundle; takes make_package's fields."""
    return dict(name=name, version=version, **fields)


def make_bundle(directory, name, version, members, *, output=None, build_time=BUILD_TIME, architecture=None,
                depends=(), provides=(), conflicts=(), bundle_names=(), nodb=False, owner="0:0"):
    """Builds a bundle of `members` (see member()) with mkvrp; returns the path of the file."""
    directory = pathlib.Path(directory)
    folder = pathlib.Path(tempfile.mkdtemp(prefix=f"{name}-", dir=directory))
    lines = [f"bundle {name} {version}"]
    if build_time is not None:
        lines.append(f"build-time {build_time}")
    if architecture is not None:
        lines.append(f"architecture {architecture}")
    lines += _relation_lines("depends", depends)
    lines += _relation_lines("provides", provides)
    lines += _relation_lines("conflicts", conflicts)
    if bundle_names:
        lines.append("bundle-names " + " ".join(bundle_names))
    if nodb:
        lines.append("nodb yes")
    own_owner = False
    for index, fields in enumerate(members):
        member_lines, member_owner = _package_lines(folder, index, **fields)
        own_owner = own_owner or member_owner
        lines += ["", "package"] + member_lines
    output = output or directory / f"{name}-{version}.vrp"
    return build_manifest(folder, "\n".join(lines) + "\n", output, None if own_owner else owner)


# ---- raw byte layouts -------------------------------------------------------------------------

_STAGES = {"alpha": 0x61, "beta": 0x62, "rc": 0x63}


def pack_version(text):
    """"3.0rc5" -> 0x03006305, "2.9.3" -> 0x02096603; None, "" and "-" -> 0."""
    if text in (None, "", "-", 0):
        return 0
    if isinstance(text, int):
        return text
    major, rest = text.split(".", 1)
    digits = ""
    while rest and rest[0].isdigit():
        digits, rest = digits + rest[0], rest[1:]
    stage, build = 0x66, 0
    if rest.startswith("."):
        build = int(rest[1:])
    elif rest:
        word = rest.rstrip("0123456789")
        stage = _STAGES[word]
        build = int(rest[len(word):] or 0)
    return (int(major) << 24) | (int(digits) << 16) | (stage << 8) | build


def name_field(name):
    raw = name.encode() if isinstance(name, str) else name
    return raw[:16].ljust(16, b"\0")


def header_record(name, version, build_time=BUILD_TIME):
    """The 32-byte payload of PART_PACKAGE / PART_BUNDLE."""
    return name_field(name) + struct.pack("<II", pack_version(version), build_time) + b"\0" * 8


def name_list(entries, count=None):
    """A name-list payload from (name, min, max[, extra]) tuples; count overrides the count field."""
    out = struct.pack("<H", len(entries) if count is None else count)
    for entry in entries:
        if isinstance(entry, str):
            entry = (entry,)
        name, minimum, maximum, extra = (list(entry) + [None, None, 0])[:4]
        out += name_field(name) + struct.pack("<IIIi", pack_version(minimum), 0, pack_version(maximum), extra)
    return out


def part(part_type, payload, size=None):
    """A part: 2-byte type, 4-byte size (size overrides it), payload."""
    return struct.pack("<HI", part_type, len(payload) if size is None else size) + payload


def container(parts, magic=PACKAGE_MAGIC, length=None):
    """A whole file from encoded parts; length overrides the header's length field."""
    body = b"".join(parts)
    return struct.pack("<II", magic, len(body) if length is None else length) + body


def file_record(path, mode, content=b"", uid=0, gid=0, mtime=BUILD_TIME, size=None):
    """One decompressed file record; mode includes the type bits (TYPE_* | permissions)."""
    path = path.encode() if isinstance(path, str) else path
    content = content.encode() if isinstance(content, str) else content
    size = len(content) if size is None else size
    return (struct.pack("<HHHHI12xIH", mode, uid, gid, 0, mtime, size, len(path)) + path + content)


def device_content(major, minor):
    """The 4-byte device number as Linux packs it (major and minor below 4096 and 256 here)."""
    return struct.pack("<I", os.makedev(major, minor) & 0xFFFFFFFF)


def compress(data):
    return zlib.compress(data)


def raw_package(name, version, records=(), *, build_time=BUILD_TIME, magic=PACKAGE_MAGIC, extra_parts=(),
                files_payload=None):
    """A single package built in Python: header, any extra encoded parts, then a PART_FILES holding
    the zlib-compressed records (or files_payload verbatim, for corrupt streams)."""
    payload = compress(b"".join(records)) if files_payload is None else files_payload
    parts = [part(PART_PACKAGE, header_record(name, version, build_time)), *extra_parts, part(PART_FILES, payload)]
    return container(parts, magic)


def split_parts(data):
    """(magic, [(type, payload), ...]) of a well-formed package, for tests that edit one part."""
    magic, _ = struct.unpack_from("<II", data, 0)
    parts, at = [], 8
    while at + 6 <= len(data):
        part_type, size = struct.unpack_from("<HI", data, at)
        parts.append((part_type, data[at + 6:at + 6 + size]))
        at += 6 + size
    return magic, parts


def join_parts(magic, parts):
    return container([part(t, p) for t, p in parts], magic)


def replace_files(data, records=None, payload=None):
    """The package `data` with its (first) PART_FILES payload replaced by compressed records or payload."""
    magic, parts = split_parts(data)
    new = compress(b"".join(records)) if payload is None else payload
    index = next(i for i, (t, _) in enumerate(parts) if t == PART_FILES)
    parts[index] = (PART_FILES, new)
    return join_parts(magic, parts)
