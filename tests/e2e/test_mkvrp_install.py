"""What mkvrp packs from a tree, the installer unpacks into the same tree, fed through a pipe."""
import os
import pathlib
import stat

import pytest

import install_harness
import vrp

T = vrp.BUILD_TIME

pytestmark = pytest.mark.skipif(not vrp.can_make_devices(), reason="devices, owners and change of root need root")

TREE = {
    "/srv": vrp.Dir(mode=0o750, uid=7, gid=8, mtime=T - 100),
    "/srv/run.sh": vrp.File("#!/bin/sh\necho run\n", mode=0o4711, uid=7, gid=8, mtime=T - 200),
    "/srv/data": vrp.File(os.urandom(3 * 16384 + 100), mode=0o640, uid=3, gid=4, mtime=T - 250),
    "/srv/empty": vrp.File("", mode=0o600, mtime=T - 260),
    "/srv/link": vrp.Symlink("run.sh", uid=7, gid=8),
    "/srv/pipe": vrp.Fifo(mode=0o620, mtime=T - 400),
    "/srv/tty": vrp.Device("c", 4, 64, mode=0o620, gid=5, mtime=T - 500),
    "/srv/disk": vrp.Device("b", 3, 1, mode=0o660, gid=6, mtime=T - 600),
    "/srv/sticky": vrp.Dir(mode=0o1777, mtime=T - 700),
}


def describe(path):
    """What a round trip must keep of one entry."""
    status = os.lstat(path)
    kept = (stat.S_IFMT(status.st_mode), stat.S_IMODE(status.st_mode), status.st_uid, status.st_gid)
    if stat.S_ISLNK(status.st_mode):
        return kept + (os.readlink(path),)  # a link's own time is not something the system sets
    kept += (int(status.st_mtime),)
    if stat.S_ISREG(status.st_mode):
        return kept + (pathlib.Path(path).read_bytes(),)
    if stat.S_ISCHR(status.st_mode) or stat.S_ISBLK(status.st_mode):
        return kept + (os.major(status.st_rdev), os.minor(status.st_rdev))
    return kept


def test_every_file_type_round_trips_through_the_installer(tmp_path):
    source = tmp_path / "source"
    vrp.write_tree(source, TREE)
    package = vrp.make_package(tmp_path, "kinds", "1.0", files=TREE)
    root = install_harness.make_root(tmp_path / "root")
    result = install_harness.install(root, package)
    assert result.status == 0, result.stdout
    assert result.messages == ["installed kinds-1.0"]
    for name in TREE:
        relative = name.lstrip("/")
        assert describe(root / relative) == describe(source / relative), name


def test_bundle_members_from_mkvrp_are_installed(tmp_path):
    bundle = vrp.make_bundle(tmp_path, "base", "3.0", [
        vrp.member("core", "3.0", files={"/etc/core": "core\n"}),
        vrp.member("extra", "3.0rc2", files={"/usr/extra": vrp.File("extra\n", mode=0o755)}),
    ])
    root = install_harness.make_root(tmp_path / "root")
    result = install_harness.install(root, bundle)
    assert result.status == 0, result.stdout
    assert (root / "etc" / "core").read_text() == "core\n"
    assert stat.S_IMODE(os.stat(root / "usr" / "extra").st_mode) == 0o755
    assert {"base", "core", "extra"} <= set(install_harness.installed_names(root))
