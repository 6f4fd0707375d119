"""Bundles: members installed one after the other, former members removed, listed packages held
back, and members that cannot be read or written."""
import pytest

import vrp
from install_harness import install, installed_names, make_root, packages, record_files, tree

REGULAR = vrp.TYPE_REGULAR | 0o644
DIRECTORY = vrp.TYPE_DIRECTORY | 0o755


@pytest.fixture
def root(tmp_path):
    root = make_root(tmp_path / "root")
    base = vrp.raw_package("base", "1.0", [vrp.file_record("/etc", DIRECTORY), vrp.file_record("/etc/base", REGULAR, "b")])
    assert install(root, base).status == 0
    return root


def bundle_file(root, name):
    path = root / "var" / "pdb" / name / "bundle"
    return path.read_text() if path.exists() else None


def raw_member(name, version, records, header=None):
    return [vrp.part(vrp.PART_PACKAGE, header if header is not None else vrp.header_record(name, version)),
            vrp.part(vrp.PART_FILES, vrp.compress(b"".join(records)))]


def raw_bundle(name, version, *members):
    return vrp.container([vrp.part(vrp.PART_BUNDLE, vrp.header_record(name, version))] + [p for m in members for p in m])


def test_bundle_installs_its_members_and_its_record(root, packages):
    pkg = vrp.make_bundle(packages, "sys", "1.0", [
        vrp.member("a", "1.0", files={"/usr/a": "a"}),
        vrp.member("b", "2.0", files={"/usr/b": "b"}, depends=["a"]),
    ])
    result = install(root, pkg)
    assert (result.status, result.messages) == (0, ["installed sys-1.0"])
    assert installed_names(root) == ["a", "b", "base", "sys"]
    assert (bundle_file(root, "a"), bundle_file(root, "b")) == ("sys\n", "sys\n")
    assert not (root / "var" / "pdb" / "sys" / "files").exists()  # a bundle record has no file list
    assert record_files(root, "b") == ["usr/b"]


def test_new_bundle_version_removes_members_it_no_longer_holds(root, packages):
    install(root, vrp.make_bundle(packages, "sys", "1.0", [
        vrp.member("a", "1.0", files={"/usr/a": "a1"}), vrp.member("b", "1.0", files={"/usr/b": "b"})]))
    result = install(root, vrp.make_bundle(packages, "sys", "1.1", [vrp.member("a", "1.1", files={"/usr/a": "a2"})]))
    assert (result.status, result.messages) == (0, ["installed sys-1.1"])
    assert installed_names(root) == ["a", "base", "sys"]
    assert (root / "usr" / "a").read_text() == "a2"
    assert not (root / "usr" / "b").exists()


def test_listed_package_that_was_not_installed_comes_in_disabled(root, packages):
    result = install(root, vrp.make_bundle(packages, "sys", "1.0", [
        vrp.member("a", "1.0", files={"/usr/a": "a"}), vrp.member("extra", "1.0", files={"/usr/extra": "e"})],
        bundle_names=["extra"]))
    assert (result.status, result.messages) == (0, ["installed sys-1.0"])
    assert (root / "var" / "pdb" / "extra" / "disabled").exists()
    assert (root / "x" / "extra" / "usr" / "extra").exists()
    assert (root / "usr" / "a").exists()
    assert not (root / "x" / "" / "files").exists()  # the hold-back records are never written


def test_fresh_bundle_whose_first_member_is_held_back_reports_no_failure(tmp_path, packages):
    fresh = make_root(tmp_path / "fresh")
    result = install(fresh, vrp.make_bundle(packages, "sys", "1.0", [
        vrp.member("extra", "1.0", files={"/usr/extra": "e"}), vrp.member("a", "1.0", files={"/usr/a": "a"})],
        bundle_names=["extra"]))
    # the record has no enabled member until the second one arrives
    assert (result.status, result.messages) == (0, ["disabled sys-1.0", "enabled sys-1.0", "installed sys-1.0"])
    assert not (fresh / "var" / "pdb" / "sys" / "disabled").exists()
    assert (fresh / "var" / "pdb" / "extra" / "disabled").exists()
    assert (fresh / "usr" / "a").exists()


def test_bundle_whose_members_are_all_omitted_keeps_its_record(root, packages):
    pkg = vrp.make_bundle(packages, "sys", "1.0", [
        vrp.member("a", "1.0", files={"/usr/a": "a"}, depends=["missing"]),
        vrp.member("b", "1.0", files={"/usr/b": "b"}, architecture="arm")])
    result = install(root, pkg)
    assert (result.status, result.messages) == (3, [])  # the checks of members are silent
    assert installed_names(root) == ["base", "sys"]
    assert (root / "var" / "pdb" / "sys" / "version").read_text() == f"{vrp.pack_version('1.0')} {vrp.BUILD_TIME}\n"
    assert not (root / "usr").exists()


def test_bundle_refused_by_its_checks(root, packages):
    result = install(root, vrp.make_bundle(packages, "sys", "1.0", [vrp.member("a", "1.0", files={"/usr/a": "a"})],
                                           depends=["kernel"]))
    assert (result.status, result.messages) == (2, ["ERROR: can not install sys-1.0: kernel is not installed, but is required"])
    assert installed_names(root) == ["base"]


def test_member_with_unreadable_header_ends_the_bundle(root):
    package = raw_bundle("sys", "1.0",
                         raw_member("a", "1.0", [vrp.file_record("/etc/a", REGULAR, "a")]),
                         raw_member("cut", "1.0", [vrp.file_record("/etc/cut", REGULAR, "c")], header=b"short"),
                         raw_member("c", "1.0", [vrp.file_record("/etc/c", REGULAR, "c")]))
    result = install(root, package)  # would never end if the unreadable member were tried again
    assert (result.status, result.messages) == (0, ["installed sys-1.0"])
    assert installed_names(root) == ["a", "base", "sys"]


def test_member_failing_inside_its_files_does_not_stop_the_bundle(root):
    broken = [vrp.file_record("/etc/b1", REGULAR, "first"), vrp.file_record("/etc/b2", vrp.TYPE_SOCKET | 0o600),
              vrp.file_record("/etc/b3", REGULAR, "never")]
    package = raw_bundle("sys", "1.0",
                         raw_member("a", "1.0", [vrp.file_record("/etc/a", REGULAR, "a")]),
                         raw_member("b", "1.0", broken),
                         raw_member("c", "1.0", [vrp.file_record("/etc/c", REGULAR, "c")]))
    result = install(root, package)
    assert result.status == 0
    assert result.messages == ["ERROR: installation of sys-1.0 failed: broken package", "installed sys-1.0"]
    assert installed_names(root) == ["a", "base", "c", "sys"]
    assert tree(root) == {"/etc", "/etc/base", "/etc/a", "/etc/c"}
