"""mkvrp builds what readers read: every file type, bundles, refused manifests, broken files."""
import os
import pathlib
import resource
import subprocess

import pytest

import vrp

T = vrp.BUILD_TIME
MKVRP = vrp.mkvrp_path()

needs_root = pytest.mark.skipif(not vrp.can_make_devices(), reason="devices and foreign owners need root")


def listing_through_pipe(path):
    """mkvrp list - fed by cat, so the reader meets a stream that cannot seek."""
    result = subprocess.run(f"cat '{path}' | '{MKVRP}' list -", shell=True, capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    return result.stdout


@needs_root
def test_every_file_type_round_trips_from_a_file_and_through_a_pipe(tmp_path):
    files = {
        "/bin": vrp.Dir(mode=0o755, mtime=T - 1),
        "/bin/busybox": vrp.File(b"\x7fELF" + bytes(range(256)) * 200, mode=0o4755, mtime=T - 2, uid=0, gid=0),
        "/bin/sh": vrp.Symlink("busybox", mtime=T - 3),
        "/dev/ttyS0": vrp.Device("c", 4, 64, mode=0o620, uid=0, gid=5, mtime=T - 4),
        "/dev/hda1": vrp.Device("b", 3, 1, mode=0o660, uid=0, gid=6, mtime=T - 5),
        "/etc/hosts": vrp.File("127.0.0.1 localhost\n", mode=0o644, uid=12, gid=34, mtime=T - 6),
        "/etc/empty": vrp.File("", mode=0o600),
        "/etc/initctl": vrp.Fifo(mode=0o600, mtime=T - 7),
        "/var/spool": vrp.Dir(mode=0o1777, uid=1, gid=2),
    }
    pkg = vrp.make_package(tmp_path, "system", "3.0rc5", files=files, architecture="i386",
                           depends=[("libc", "2.0", "3.0")], provides=[("shell", None, None, 5)],
                           conflicts=[("oldsys", None, "2.9.3")], install_script="echo in\n",
                           uninstall_script="echo out\n", description="The base system\nof the router")
    expected = f"""package system 3.0rc5
build-time {T} (2023-11-14 22:13:20 UTC)
description The base system
description of the router
architecture i386
depends libc 2.0 3.0
provides shell - - 5
conflicts oldsys - 2.9.3
install-script 8 bytes
uninstall-script 9 bytes
"""
    records = """drwxr-xr-x 0/0                  0 2023-11-14 22:13 /bin
-rwsr-xr-x 0/0              51204 2023-11-14 22:13 /bin/busybox
lrwxrwxrwx 0/0                  7 2023-11-14 22:13 /bin/sh -> busybox
drwxr-xr-x 0/0                  0 2023-11-14 22:13 /dev
brw-rw---- 0/6                3,1 2023-11-14 22:13 /dev/hda1
crw--w---- 0/5               4,64 2023-11-14 22:13 /dev/ttyS0
drwxr-xr-x 0/0                  0 2023-11-14 22:13 /etc
-rw------- 0/0                  0 2023-11-14 22:13 /etc/empty
-rw-r--r-- 12/34               20 2023-11-14 22:13 /etc/hosts
prw------- 0/0                  0 2023-11-14 22:13 /etc/initctl
drwxr-xr-x 0/0                  0 2023-11-14 22:13 /var
drwxrwxrwt 1/2                  0 2023-11-14 22:13 /var/spool
"""
    from_file = vrp.list_package(pkg)
    head, files_line, tail = from_file.partition("files ")
    assert head == expected
    assert tail.split("\n", 1)[1] == records
    assert listing_through_pipe(pkg) == from_file
    # The packed bytes are what Python's own reading of the layout finds.
    magic, parts = vrp.split_parts(pkg.read_bytes())
    assert magic == vrp.PACKAGE_MAGIC
    assert [t for t, _ in parts] == [vrp.PART_PACKAGE, vrp.PART_DESCRIPTION, vrp.PART_ARCHITECTURE,
                                     vrp.PART_DEPENDENCIES, vrp.PART_PROVIDES, vrp.PART_CONFLICTS,
                                     vrp.PART_INSTALL_SCRIPT, vrp.PART_UNINSTALL_SCRIPT, vrp.PART_FILES]
    assert parts[0][1] == vrp.header_record("system", "3.0rc5")
    raw = vrp.zlib.decompress(parts[-1][1])
    tty = vrp.file_record("/dev/ttyS0", vrp.TYPE_CHAR_DEVICE | 0o620, vrp.device_content(4, 64), gid=5, mtime=T - 4)
    assert tty in raw


def test_bundle_lists_its_own_header_then_each_member(tmp_path):
    pkg = vrp.make_bundle(tmp_path, "base", "3.0", [
        vrp.member("core", "3.0", files={"/etc/core": "c"}, depends=["kernel"]),
        vrp.member("extra", "3.0beta2", build_time=T + 60),
    ], depends=[("kernel", "2.6", None)], provides=[("os", "3.0", "3.0", -1)], conflicts=["legacy"],
        bundle_names=["extra"], nodb=True)
    listing = vrp.list_package(pkg)
    assert listing.startswith(f"""nodb yes
bundle base 3.0
build-time {T} (2023-11-14 22:13:20 UTC)
depends kernel 2.6 -
provides os 3.0 3.0 -1
conflicts legacy - -
bundle-names extra
package core 3.0
build-time {T} (2023-11-14 22:13:20 UTC)
depends kernel - -
files """)
    assert listing.endswith(f"""/etc/core
package extra 3.0beta2
build-time {T + 60} (2023-11-14 22:14:20 UTC)
""")
    assert listing_through_pipe(pkg) == listing
    assert pkg.read_bytes()[:4] == (vrp.PACKAGE_MAGIC_NODB).to_bytes(4, "little")


def test_the_same_input_builds_the_same_bytes(tmp_path):
    files = {"/a/b": "b", "/a/c": vrp.Symlink("b"), "/z": "z"}
    first = vrp.make_package(tmp_path, "p", "1.0", files=files, output=tmp_path / "first.vrp")
    second = vrp.make_package(tmp_path, "p", "1.0", files=files, output=tmp_path / "second.vrp")
    assert first.read_bytes() == second.read_bytes()


def test_build_time_defaults_to_source_date_epoch(tmp_path):
    (tmp_path / "manifest").write_text("name p\nversion 1.0\n")
    env = dict(os.environ, SOURCE_DATE_EPOCH="1234567890")
    subprocess.run([MKVRP, tmp_path / "manifest", tmp_path / "p.vrp"], env=env, check=True)
    assert "build-time 1234567890 (2009-02-13 23:31:30 UTC)" in vrp.list_package(tmp_path / "p.vrp")


def test_large_files_stream_through_in_bounded_memory(tmp_path):
    tree = tmp_path / "tree"
    tree.mkdir()
    with open(tree / "big", "wb") as big:
        big.truncate(96 * 1024 * 1024)
    (tmp_path / "manifest").write_text("name big\nversion 1.0\ntree tree\n")
    script = (f"import resource, subprocess; subprocess.run(['{MKVRP}', '--owner', '0:0', '{tmp_path}/manifest', "
              f"'{tmp_path}/big.vrp'], check=True); print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    peak_kib = int(subprocess.run(["python3", "-c", script], capture_output=True, text=True, check=True).stdout)
    assert peak_kib < 32 * 1024
    assert f"{96 * 1024 * 1024} 2023" not in vrp.list_package(tmp_path / "big.vrp")  # mtime is the file's own
    assert " 100663296 " in vrp.list_package(tmp_path / "big.vrp")


BAD_MANIFESTS = [
    ("name p\nversion 1.0\nsize 5\n", "manifest:3: unknown key \"size\""),
    ("name p\nversion 3.0gamma\n", "manifest:2: bad version \"3.0gamma\""),
    ("name p\nversion 1.2.3.4\n", "bad version \"1.2.3.4\""),
    ("name abcdefghijklmnopq\nversion 1.0\n", "is longer than 16 characters"),
    ("name a/b\nversion 1.0\n", "contains \"/\""),
    ("version 1.0\n", "manifest:1: package has no name"),
    ("name p\n", "package \"p\" has no version"),
    ("name p\nversion 1.0\ntree missing\n", "cannot read tree"),
    ("name p\nversion 1.0\ninstall-script missing.sh\n", "cannot read script"),
    ("name p\nversion 1.0\ndepends q 1.0 2.0 9\n", "depends takes NAME [MIN] [MAX]"),
    ("bundle b 1.0\n", "bundle \"b\" has no package sections"),
    ("", "the manifest is empty"),
]


@pytest.mark.parametrize("text,complaint", BAD_MANIFESTS)
def test_bad_manifests_are_refused_with_a_clear_message(tmp_path, text, complaint):
    (tmp_path / "manifest").write_text(text)
    result = vrp.run_mkvrp(tmp_path / "manifest", tmp_path / "out.vrp")
    assert result.returncode == 1
    assert complaint in result.stderr
    assert result.stderr.startswith("mkvrp: ")
    assert not (tmp_path / "out.vrp").exists()


def test_unreadable_manifest_and_bad_command_lines(tmp_path):
    result = vrp.run_mkvrp(tmp_path / "nothing", tmp_path / "out.vrp")
    assert result.returncode == 1 and "cannot read manifest" in result.stderr
    (tmp_path / "manifest").write_text("name p\nversion 1.0\n")
    for args in ([], [tmp_path / "manifest"], ["--bogus", tmp_path / "manifest", tmp_path / "o"],
                 ["--owner", "root", tmp_path / "manifest", tmp_path / "o"], ["list"], [tmp_path / "manifest", "-"]):
        result = vrp.run_mkvrp(*args)
        assert result.returncode == 2, args
        assert result.stderr, args


def test_sockets_cannot_be_packed(tmp_path):
    import socket
    tree = tmp_path / "tree"
    tree.mkdir()
    server = socket.socket(socket.AF_UNIX)
    server.bind(str(tree / "sock"))
    (tmp_path / "manifest").write_text("name p\nversion 1.0\ntree tree\n")
    result = vrp.run_mkvrp(tmp_path / "manifest", tmp_path / "out.vrp")
    server.close()
    assert result.returncode == 1 and "cannot carry" in result.stderr
    assert not (tmp_path / "out.vrp").exists()


def _good(tmp_path):
    return vrp.make_package(tmp_path, "p", "1.0", files={"/etc/a": "a" * 5000, "/etc/b": "b"}).read_bytes()


def _hostile(tmp_path):
    good = _good(tmp_path)
    magic, parts = vrp.split_parts(good)
    records = vrp.zlib.decompress(parts[-1][1])
    cut_in_content = vrp.compress(records[:100])
    socket_record = vrp.file_record("/s", vrp.TYPE_SOCKET | 0o644)
    long_device = vrp.file_record("/d", vrp.TYPE_CHAR_DEVICE | 0o600, b"\0" * 8)
    corrupt = bytearray(parts[-1][1])
    corrupt[len(corrupt) // 2] ^= 0xFF
    return {
        "bad magic": (b"\0\0\0\0" + good[4:], "not a package file"),
        "short header": (good[:5], "not a package file"),
        "length one short": (good[:4] + (len(good) - 9).to_bytes(4, "little") + good[8:], "header gives"),
        "cut inside content": (vrp.replace_files(good, payload=cut_in_content), "ends inside the content of /etc/a"),
        "corrupt zlib": (vrp.replace_files(good, payload=bytes(corrupt)), None),
        "socket record": (vrp.replace_files(good, [socket_record]), "broken file record /s (type 0xc000"),
        "device of 8 bytes": (vrp.replace_files(good, [long_device]), "broken file record /d (type 0x2000, content size 8)"),
        "cut after a record": (vrp.replace_files(good, payload=vrp.zlib.compressobj().compress(records) +
                                                 b""), "truncated or corrupt"),
        "short name list": (vrp.join_parts(magic, [parts[0], (vrp.PART_DEPENDENCIES, vrp.name_list(["x"], count=2))]),
                            "the depends list is short"),
        "last part cut": (good[:-3], None),
    }


@pytest.mark.parametrize("case", ["bad magic", "short header", "length one short", "cut inside content",
                                  "corrupt zlib", "socket record", "device of 8 bytes", "cut after a record",
                                  "short name list", "last part cut"])
def test_listing_refuses_broken_files_from_a_file_and_a_pipe(tmp_path, case):
    data, complaint = _hostile(tmp_path)[case]
    path = tmp_path / "hostile.vrp"
    path.write_bytes(data)
    for result in (vrp.run_mkvrp("list", path),
                   subprocess.run([MKVRP, "list", "-"], input=data, capture_output=True, timeout=60)):
        stderr = result.stderr if isinstance(result.stderr, str) else result.stderr.decode()
        assert result.returncode == 1, (case, stderr)
        assert stderr.startswith("mkvrp: ")
        if complaint:
            assert complaint in stderr, stderr


def test_listing_shows_hostile_names_without_control_characters(tmp_path):
    data = vrp.raw_package("p", "1.0", [vrp.file_record("/\x1b[2Jevil/../x", vrp.TYPE_REGULAR | 0o644, "x")])
    (tmp_path / "p.vrp").write_bytes(data)
    listing = vrp.list_package(tmp_path / "p.vrp")
    assert "\x1b" not in listing
    assert "/?[2Jevil/../x" in listing
