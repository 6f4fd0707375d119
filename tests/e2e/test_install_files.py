"""What installing, removing, disabling and enabling do to the files of a package."""
import os
import stat

import pytest

import vrp
from install_harness import install, packages, record_files, root, run_installer, schedule, tree

T = vrp.BUILD_TIME


def base(packages):
    """Keeps something enabled, so that the others may be disabled and uninstalled."""
    return vrp.make_package(packages, "base", "1.0", files={"/etc/base": "base"})


def test_every_file_type_with_owner_mode_and_time(root, packages):
    pkg = vrp.raw_package("kinds", "1.0", [
        vrp.file_record("/srv", vrp.TYPE_DIRECTORY | 0o750, uid=7, gid=8, mtime=T - 100),
        vrp.file_record("/srv/run.sh", vrp.TYPE_REGULAR | 0o4711, "#!/bin/sh\n", uid=7, gid=8, mtime=T - 200),
        vrp.file_record("srv/link", vrp.TYPE_SYMLINK | 0o777, "run.sh", uid=7, gid=8, mtime=T - 300),
        vrp.file_record("/srv/pipe", vrp.TYPE_FIFO | 0o620, uid=7, gid=8, mtime=T - 400),
        vrp.file_record("/srv/tty", vrp.TYPE_CHAR_DEVICE | 0o600, vrp.device_content(4, 64), mtime=T - 500),
        vrp.file_record("/srv/disk", vrp.TYPE_BLOCK_DEVICE | 0o660, vrp.device_content(3, 1), mtime=T - 600),
    ])
    result = install(root, pkg)
    assert (result.status, result.messages) == (0, ["installed kinds-1.0"])
    srv = root / "srv"
    expected = {
        "": (stat.S_IFDIR | 0o750, 7, 8, T - 100),  # timed after the files made inside it
        "run.sh": (stat.S_IFREG | 0o4711, 7, 8, T - 200),
        "pipe": (stat.S_IFIFO | 0o620, 7, 8, T - 400),
        "tty": (stat.S_IFCHR | 0o600, 0, 0, T - 500),
        "disk": (stat.S_IFBLK | 0o660, 0, 0, T - 600),
    }
    for name, (mode, uid, gid, mtime) in expected.items():
        info = os.lstat(srv / name)
        assert (info.st_mode, info.st_uid, info.st_gid, int(info.st_mtime), int(info.st_atime)) == \
            (mode, uid, gid, mtime, mtime), name
    assert os.stat(srv / "tty").st_rdev == os.makedev(4, 64)
    assert os.stat(srv / "disk").st_rdev == os.makedev(3, 1)
    link = os.lstat(srv / "link")
    assert os.readlink(srv / "link") == "run.sh"
    assert (link.st_uid, link.st_gid) == (7, 8)
    assert int(link.st_mtime) != T - 300  # links are never timed
    assert (srv / "run.sh").read_text() == "#!/bin/sh\n"
    assert record_files(root, "kinds") == ["srv/disk", "srv/link", "srv/pipe", "srv/run.sh", "srv/tty"]


def test_large_file_is_copied_whole(root, packages):
    content = os.urandom(2 * 16384 + 100)
    result = install(root, vrp.raw_package("big", "1.0", [vrp.file_record("/blob", vrp.TYPE_REGULAR | 0o644, content)]))
    assert result.status == 0
    assert (root / "blob").read_bytes() == content


def test_existing_directory_is_left_as_it_was(root, packages):
    (root / "etc").mkdir(mode=0o700)
    os.utime(root / "etc", (1000, 1000))
    install(root, vrp.raw_package("etc", "1.0", [
        vrp.file_record("/etc", vrp.TYPE_DIRECTORY | 0o755, mtime=T),
        vrp.file_record("/etc/x", vrp.TYPE_REGULAR | 0o644, "x")]))
    info = os.stat(root / "etc")
    assert info.st_mode & 0o7777 == 0o700
    assert int(info.st_mtime) != T  # not timed by the record


def test_other_packages_files_are_not_overwritten_and_ghosts_are(root, packages):
    install(root, vrp.make_package(packages, "owner", "1.0", files={"/etc/shared": "owner's"}))
    (root / "etc" / "stray").write_text("left by nobody")
    result = install(root, vrp.make_package(packages, "other", "1.0",
                                             files={"/etc/shared": "other's", "/etc/stray": "other's"}))
    assert result.status == 0
    assert result.messages == ["WARNING: file /etc/shared collides with owner package",
                               "WARNING: ghost file /etc/stray", "installed other-1.0"]
    assert (root / "etc" / "shared").read_text() == "owner's"
    assert (root / "etc" / "stray").read_text() == "other's"
    assert record_files(root, "other") == ["etc/stray"]


def test_disable_and_enable_move_files_to_and_from_the_disabled_area(root, packages):
    install(root, base(packages))
    install(root, vrp.make_package(packages, "p", "1.0", files={"/etc/a": "a", "/etc/sub/b": "b", "/usr/c": "c"}))
    schedule(root, "p", "disable")
    result = run_installer(root, "/none.vrp")
    assert result.messages == ["disabled p-1.0"]
    assert "disabling p-1.0..." in result.stdout
    assert record_files(root, "p") == ["x/p/etc/a", "x/p/etc/sub/b", "x/p/usr/c"]
    assert (root / "x" / "p" / "etc" / "sub" / "b").read_text() == "b"
    assert not (root / "etc" / "a").exists()
    assert (root / "etc" / "sub").is_dir()  # emptied live directories stay
    assert (root / "var" / "pdb" / "p" / "disabled").exists()

    schedule(root, "p", "enable")
    result = run_installer(root, "/none.vrp")
    assert result.messages == ["enabled p-1.0"]
    assert record_files(root, "p") == ["etc/a", "etc/sub/b", "usr/c"]
    assert (root / "etc" / "sub" / "b").read_text() == "b"
    assert not (root / "x").exists()  # the emptied area goes, bottom up
    assert not (root / "var" / "pdb" / "p" / "disabled").exists()


@pytest.mark.parametrize("word, disabled_before", [("enable", False), ("disable", True)])
def test_request_for_the_state_a_package_already_has_is_dropped(root, packages, word, disabled_before):
    install(root, base(packages))
    install(root, vrp.make_package(packages, "p", "1.0", files={"/etc/a": "a"}))
    if disabled_before:
        schedule(root, "p", "disable")
        run_installer(root, "/none.vrp")
    before = tree(root)
    files_before = record_files(root, "p")
    schedule(root, "p", word)
    result = run_installer(root, "/none.vrp")
    assert result.messages == []
    assert tree(root) == before
    assert record_files(root, "p") == files_before
    assert not (root / "var" / "pdb" / "p" / "schedule").exists()


def test_uninstalled_file_in_use_stays_reachable(root, packages):
    install(root, base(packages))
    install(root, vrp.make_package(packages, "p", "1.0", files={"/lib/held.so": "held", "/lib/free.so": "free"}))
    (root / "tmp" / "inst1").write_text("taken")  # the first free name is the next one
    schedule(root, "p", "uninstall")
    held = root / "lib" / "held.so"
    # The holder opens the file inside the installer's mount namespace, where the path it holds
    # reads the same from inside the root.
    pid_file = root.parent / "holder.pid"
    try:
        result = run_installer(root, "/none.vrp",
                               wrap=f'{{ sleep 60 < "$0/lib/held.so" > /dev/null 2>&1 & echo $! > "{pid_file}"; }}')
    finally:
        if pid_file.exists():
            os.kill(int(pid_file.read_text()), 9)
    assert result.messages == []
    assert not held.exists() and not (root / "lib" / "free.so").exists()
    assert (root / "tmp" / "inst2").read_text() == "held"
    assert not (root / "tmp" / "inst3").exists()
    assert not (root / "var" / "pdb" / "p").exists()


def test_file_that_cannot_be_created_is_named_as_the_package_stores_it(root):
    before = tree(root)
    result = install(root, vrp.raw_package("p", "1.0", [vrp.file_record("/first", vrp.TYPE_REGULAR | 0o644, "1"),
                                                        vrp.file_record("no/parent", vrp.TYPE_REGULAR | 0o644, "x")]))
    assert (result.status, result.messages) == \
        (1, ["ERROR: installation of p-1.0 failed: could not create no/parent: No such file or directory"])
    assert tree(root) == before
