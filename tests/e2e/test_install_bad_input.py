"""Packages that cannot be trusted and disks that fill up: the installation fails with the right
message and leaves nothing of the package behind."""
import os
import subprocess
import zlib

import pytest

import vrp
from install_harness import install, installed_names, make_root, run_installer, tree

REGULAR = vrp.TYPE_REGULAR | 0o644
BASE = [vrp.file_record("/etc", vrp.TYPE_DIRECTORY | 0o755), vrp.file_record("/etc/base", REGULAR, "base")]
FIRST = vrp.file_record("/etc/first", REGULAR, "written before the bad record")


def corrupt_middle(data):
    damaged = bytearray(data)
    for offset in range(len(damaged) // 2, len(damaged) // 2 + 16):
        damaged[offset] ^= 0x55
    return bytes(damaged)


def checksum_damaged(data):
    return data[:-1] + bytes([data[-1] ^ 0xFF])


BIG = os.urandom(20000)

BROKEN_FILE_DATA = {
    "cut inside the content": dict(records=[FIRST, vrp.file_record("/etc/cut", REGULAR, "short", size=100)]),
    "cut inside the name": dict(payload=zlib.compress(FIRST + vrp.file_record("/etc/name", REGULAR)[:34])),
    "corrupt zlib stream": dict(payload=corrupt_middle(zlib.compress(FIRST + vrp.file_record("/big", REGULAR, BIG)))),
    "damaged checksum": dict(payload=checksum_damaged(zlib.compress(FIRST + vrp.file_record("/etc/b", REGULAR, "b")))),
    "device of eight bytes": dict(records=[FIRST, vrp.file_record("/dev/x", vrp.TYPE_CHAR_DEVICE | 0o600, b"\0" * 8)]),
    "socket": dict(records=[FIRST, vrp.file_record("/etc/sock", vrp.TYPE_SOCKET | 0o600)]),
    "parent reference": dict(records=[FIRST, vrp.file_record("/etc/../../escape", REGULAR, "out")]),
    "parent reference only": dict(records=[FIRST, vrp.file_record("..", vrp.TYPE_DIRECTORY | 0o755)]),
    "line break in the path": dict(records=[FIRST, vrp.file_record("/etc/a\n/etc/base", REGULAR, "x")]),
}


@pytest.fixture
def root(tmp_path):
    root = make_root(tmp_path / "root")
    assert install(root, vrp.raw_package("base", "1.0", BASE)).status == 0
    return root


@pytest.mark.parametrize("disabled", [False, True], ids=["enabled", "disabled"])
@pytest.mark.parametrize("case", BROKEN_FILE_DATA)
def test_broken_file_data_leaves_nothing_behind(root, case, disabled):
    if disabled:
        # an enabled package that conflicts with it makes it install into the disabled area
        install(root, vrp.raw_package("keeper", "1.0", extra_parts=[vrp.part(vrp.PART_CONFLICTS, vrp.name_list(["bad"]))]))
    before = tree(root)
    data = BROKEN_FILE_DATA[case]
    package = vrp.raw_package("bad", "1.0", data.get("records", ()), files_payload=data.get("payload"))
    result = install(root, package)
    assert (result.status, result.messages) == (1, ["ERROR: installation of bad-1.0 failed: broken package"])
    assert tree(root) == before
    assert "bad" not in installed_names(root)
    assert (root / "etc" / "base").read_text() == "base"


@pytest.mark.parametrize("name, label", [
    ("", "-1.0"), ("a/b", "a/b-1.0"), (".", ".-1.0"), ("..", "..-1.0"), (".hidden", ".hidden-1.0"),
    ("two words", "two words-1.0"),
])
def test_unsafe_package_name_is_refused_before_anything_is_written(root, name, label):
    before = tree(root)
    result = install(root, vrp.raw_package(name, "1.0", [vrp.file_record("/etc/new", REGULAR, "x")]))
    assert (result.status, result.messages) == (1, [f"ERROR: installation of {label} failed: broken package"])
    assert tree(root) == before
    assert installed_names(root) == ["base"]


@pytest.mark.parametrize("list_type", [vrp.PART_DEPENDENCIES, vrp.PART_PROVIDES, vrp.PART_CONFLICTS])
@pytest.mark.parametrize("entry", ["", "two words"])
def test_list_names_the_database_could_not_read_back_are_refused(root, list_type, entry):
    """Such a record would load as damaged at the next start and the package would be removed."""
    before = tree(root)
    lists = [vrp.part(list_type, vrp.name_list([entry]))]
    result = install(root, vrp.raw_package("odd", "1.0", [vrp.file_record("/etc/new", REGULAR, "x")],
                                           extra_parts=lists))
    assert (result.status, result.messages) == (1, ["ERROR: installation of odd-1.0 failed: broken package"])
    assert tree(root) == before
    assert installed_names(root) == ["base"]


def test_unsafe_bundle_name_is_refused(root):
    member = [vrp.part(vrp.PART_PACKAGE, vrp.header_record("m", "1.0")),
              vrp.part(vrp.PART_FILES, vrp.compress(vrp.file_record("/etc/m", REGULAR, "m")))]
    package = vrp.container([vrp.part(vrp.PART_BUNDLE, vrp.header_record("..", "1.0")), *member])
    result = install(root, package)
    assert (result.status, result.messages) == (1, ["ERROR: installation of ..-1.0 failed: broken package"])
    assert installed_names(root) == ["base"]


def test_data_ending_after_a_complete_record_is_not_broken(root):
    compressor = zlib.compressobj()
    payload = compressor.compress(vrp.file_record("/etc/only", REGULAR, "complete")) + compressor.flush(zlib.Z_SYNC_FLUSH)
    result = install(root, vrp.raw_package("short", "1.0", files_payload=payload))
    assert (result.status, result.messages) == (0, ["installed short-1.0"])
    assert (root / "etc" / "only").read_text() == "complete"


@pytest.fixture
def small_root(tmp_path):
    mount_point = tmp_path / "small"
    mount_point.mkdir()
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=6m", "tmpfs", str(mount_point)], check=True)
    try:
        root = make_root(mount_point)
        assert install(root, vrp.raw_package("base", "1.0", BASE)).status == 0
        yield root
    finally:
        subprocess.run(["umount", "-l", str(mount_point)], check=True)


def test_full_disk_reports_it_and_leaves_nothing_behind(small_root, tmp_path):
    root = small_root
    before = tree(root)
    base_record = (root / "var" / "pdb" / "base" / "version").read_text()
    records = [vrp.file_record("/data", vrp.TYPE_DIRECTORY | 0o755),
               vrp.file_record("/data/small", REGULAR, "fits"),
               vrp.file_record("/data/huge", REGULAR, os.urandom(8 << 20))]
    result = install(root, vrp.raw_package("huge", "1.0", records))
    assert (result.status, result.messages) == (1, ["ERROR: installation of huge-1.0 failed: disk is too small"])
    assert tree(root) == before
    assert installed_names(root) == ["base"]
    # the database still loads: a later run works with it as before
    after = install(root, vrp.raw_package("tiny", "1.0", [vrp.file_record("/etc/tiny", REGULAR, "t")]))
    assert (after.status, after.messages) == (0, ["installed tiny-1.0"])
    assert (root / "var" / "pdb" / "base" / "version").read_text() == base_record
    assert installed_names(root) == ["base", "tiny"]
