"""Installing single packages through the real installer: upgrades, downgrades, refusals, the
disabled state a conflict forces, dependents the new version drops, and packages without record."""
import os

import pytest

import vrp
from install_harness import (HIDE_CURSOR, SHOW_CURSOR, install, installed_names, packages, record_files, root,
                             tree)


def package_version(root, name):
    return (root / "var" / "pdb" / name / "version").read_text()


def test_fresh_install_draws_a_full_bar_then_announces_the_package(root, packages):
    pkg = vrp.make_package(packages, "hello", "1.0", files={"/etc/hello.conf": "x=1\n"})
    result = install(root, pkg)
    assert result.status == 0
    assert result.messages == ["installed hello-1.0"]
    head = "installing hello-1.0 ["
    full_bar = head + "#" * (76 - len(head)) + "]"
    assert len(full_bar) == 77
    assert f"{HIDE_CURSOR}\r{full_bar}\r{SHOW_CURSOR}" in result.stdout
    assert result.stdout.endswith(f"{HIDE_CURSOR}\r{' ' * 77}\r{SHOW_CURSOR}installed hello-1.0\n")
    assert package_version(root, "hello") == f"{vrp.pack_version('1.0')} {vrp.BUILD_TIME}\n"
    assert record_files(root, "hello") == ["etc/hello.conf"]
    assert (root / "var" / "pdb" / "hello" / "deps").read_text() == ""


def test_upgrade_replaces_the_files_of_the_old_version(root, packages):
    old = vrp.make_package(packages, "hello", "1.0", files={"/etc/a": "old", "/etc/b": "gone"})
    new = vrp.make_package(packages, "hello", "1.1", files={"/etc/a": "new", "/etc/c": "added"})
    assert install(root, old).status == 0
    result = install(root, new)
    assert (result.status, result.messages) == (0, ["installed hello-1.1"])
    assert (root / "etc" / "a").read_text() == "new"
    assert not (root / "etc" / "b").exists()
    assert record_files(root, "hello") == ["etc/a", "etc/c"]
    assert package_version(root, "hello").startswith(str(vrp.pack_version("1.1")))


@pytest.mark.parametrize("args, status, messages, kept", [
    ((), 0, ["WARNING: omitting package hello-1.0: newer package hello-1.1 is already installed"], "1.1"),
    (("-q",), 0, [], "1.1"),
    (("-down",), 0, ["installed hello-1.0"], "1.0"),
])
def test_older_version_needs_downgrade(root, packages, args, status, messages, kept):
    install(root, vrp.make_package(packages, "hello", "1.1", files={"/etc/a": "1.1"}))
    result = install(root, vrp.make_package(packages, "hello", "1.0", files={"/etc/a": "1.0"}), *args)
    assert (result.status, result.messages) == (status, messages)
    assert (root / "etc" / "a").read_text() == kept
    if "-q" in args:
        assert result.stdout == ""


def test_same_version_is_omitted_unless_recovering(root, packages):
    pkg = vrp.make_package(packages, "hello", "1.0", files={"/etc/a": "packaged"})
    install(root, pkg)
    (root / "etc" / "a").write_text("edited")
    again = install(root, pkg)
    assert (again.status, again.messages) == (0, ["WARNING: omitting package hello-1.0: it is already installed"])
    recovered = install(root, pkg, "--recover")
    assert (recovered.status, recovered.messages) == (0, ["installed hello-1.0"])
    assert recovered.stdout.startswith("\x1b[?25l\r\x1b[Ainstalling")
    # the package is left untouched
    assert (root / "etc" / "a").read_text() == "edited"


@pytest.mark.parametrize("fields, message", [
    (dict(depends=[("libc", "2.0", None)]), "can not install app-1.0: libc-2.0 is not installed, but is required"),
    (dict(depends=["libc"]), "can not install app-1.0: libc is not installed, but is required"),
    (dict(architecture="arm"), "can not install app-1.0: it is not made for i386, but for arm"),
])
def test_unusable_package_is_refused(root, packages, fields, message):
    result = install(root, vrp.make_package(packages, "app", "1.0", files={"/etc/app": "x"}, **fields))
    assert (result.status, result.messages) == (1, ["ERROR: " + message])
    assert installed_names(root) == []
    assert tree(root) == set()


def test_package_an_enabled_one_conflicts_with_is_installed_disabled(root, packages):
    install(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"}, conflicts=["app"]))
    # no directory records: the live tree has /usr/bin, the disabled area does not
    app = vrp.raw_package("app", "1.0", [vrp.file_record("/usr/bin/app", vrp.TYPE_REGULAR | 0o644, "app")])
    result = install(root, app)
    assert (result.status, result.messages) == (0, ["installed (disabled) app-1.0"])
    assert "installing  (disabled) app-1.0 [" in result.stdout
    assert (root / "x" / "app" / "usr" / "bin" / "app").read_text() == "app"
    assert not (root / "usr" / "bin" / "app").exists()
    assert (root / "var" / "pdb" / "app" / "disabled").exists()
    assert record_files(root, "app") == ["x/app/usr/bin/app"]
    # the parents the package does not carry were made for it in the disabled area
    umask = os.umask(0)
    os.umask(umask)
    assert (root / "x" / "app" / "usr").stat().st_mode & 0o7777 == 0o770 & ~umask


def test_installed_package_the_new_one_conflicts_with_is_disabled(root, packages):
    install(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"}))
    install(root, vrp.make_package(packages, "old", "1.0", files={"/etc/old": "o"}))
    result = install(root, vrp.make_package(packages, "new", "1.0", files={"/etc/new": "n"}, conflicts=["old"]))
    assert result.status == 0
    assert result.messages == ["disabled old-1.0", "installed new-1.0"]
    assert (root / "x" / "old" / "etc" / "old").exists()
    assert (root / "etc" / "new").exists()


def test_dependent_the_new_version_no_longer_satisfies_is_uninstalled(root, packages):
    install(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"}))
    install(root, vrp.make_package(packages, "lib", "1.0", files={"/lib/lib.so": "1"}))
    install(root, vrp.make_package(packages, "app", "1.0", files={"/bin/app": "a"}, depends=[("lib", None, "1.0")]))
    result = install(root, vrp.make_package(packages, "lib", "2.0", files={"/lib/lib.so": "2"}))
    assert (result.status, result.messages) == (0, ["installed lib-2.0"])
    assert installed_names(root) == ["base", "lib"]
    assert not (root / "bin" / "app").exists()
    assert (root / "lib" / "lib.so").read_text() == "2"


def test_package_without_record_replaces_files_silently(root, packages):
    install(root, vrp.make_package(packages, "base", "1.0", files={"/etc/shared": "base"}))
    result = install(root, vrp.make_package(packages, "kernel", "1.0", files={"/etc/shared": "kernel"}, nodb=True))
    assert (result.status, result.messages) == (0, ["installed kernel-1.0"])
    assert (root / "etc" / "shared").read_text() == "kernel"
    assert installed_names(root) == ["base"]


def test_failed_package_without_record_leaves_the_installed_record_of_its_name(root, packages):
    install(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"}))
    install(root, vrp.make_package(packages, "kernel", "1.0", files={"/etc/kernel": "1"}))
    broken = vrp.raw_package("kernel", "2.0", [vrp.file_record("/etc/new", vrp.TYPE_REGULAR | 0o644, "2"),
                                               vrp.file_record("/etc/sock", vrp.TYPE_SOCKET | 0o600)],
                             magic=vrp.PACKAGE_MAGIC_NODB)
    result = install(root, broken)
    assert (result.status, result.messages) == (1, ["ERROR: installation of kernel-2.0 failed: broken package"])
    assert record_files(root, "kernel") == ["etc/kernel"]
    assert (root / "etc" / "kernel").exists() and not (root / "etc" / "new").exists()


def test_disabled_package_never_writes_through_a_directory_link_into_the_live_tree(root, packages):
    install(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"}, conflicts=["app"]))
    install(root, vrp.make_package(packages, "owner", "1.0", files={"/srv/real/lib.so": "owner's"}))
    app = vrp.raw_package("app", "1.0", [vrp.file_record("/srv/lib", vrp.TYPE_SYMLINK | 0o777, "/srv/real"),
                                         vrp.file_record("/srv/lib/lib.so", vrp.TYPE_REGULAR | 0o644, "app's")])
    result = install(root, app)
    assert result.status == 1
    assert result.messages == ["ERROR: installation of app-1.0 failed: could not create /srv/lib/lib.so: "
                               "Too many levels of symbolic links"]
    assert (root / "srv" / "real" / "lib.so").read_text() == "owner's"
    assert not (root / "x" / "app").exists()


LINK_OUT_OF_THE_AREA = [vrp.file_record("/srv/lib", vrp.TYPE_SYMLINK | 0o777, "/srv/real"),
                        vrp.file_record("/srv/lib/new/deeper/lib.so", vrp.TYPE_REGULAR | 0o644, "app's")]


@pytest.mark.parametrize("records, in_the_way, message", [
    # the parents the record lacks would be made through the link, in the live tree
    (LINK_OUT_OF_THE_AREA, None, "could not create /srv/lib/new/deeper/lib.so: Too many levels of symbolic links"),
    # a file left in the disabled area where a parent belongs: the cause is named as it is
    ([vrp.file_record("/usr/bin/app", vrp.TYPE_REGULAR | 0o644, "app")], "x/app/usr",
     "could not create /usr/bin/app: Not a directory"),
])
def test_disabled_package_whose_parents_cannot_be_made_changes_nothing(root, packages, records, in_the_way, message):
    install(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"}, conflicts=["app"]))
    install(root, vrp.make_package(packages, "owner", "1.0", files={"/srv/real/lib.so": "owner's"}))
    if in_the_way:
        (root / in_the_way).parent.mkdir(parents=True)
        (root / in_the_way).write_text("left over")
    before = tree(root)
    result = install(root, vrp.raw_package("app", "1.0", records))
    assert (result.status, result.messages) == (1, [f"ERROR: installation of app-1.0 failed: {message}"])
    assert tree(root) == before
    assert installed_names(root) == ["base", "owner"]
