"""Packages built to do harm, and stray files that could stop or redirect a run: nothing outside the
package's own paths may change, and whatever a refused package wrote is gone again."""
import os
import pathlib
import stat

import pytest

import vrp
import database_roots
from install_harness import install, make_root, run_installer, schedule

REG, DIR, LINK = vrp.TYPE_REGULAR | 0o644, vrp.TYPE_DIRECTORY | 0o755, vrp.TYPE_SYMLINK | 0o777


def snapshot(root):
    """path -> what is there (kind, content or link target, permission bits), links not followed."""
    root = pathlib.Path(root)
    seen = {}
    for parent, directories, files in os.walk(root):
        for name in directories + files:
            path = pathlib.Path(parent) / name
            relative = "/" + path.relative_to(root).as_posix()
            if relative in ("/postlog", "/proc") or relative.startswith("/proc/"):
                continue
            info = os.lstat(path)
            if stat.S_ISLNK(info.st_mode):
                seen[relative] = ("link", os.readlink(path))
            elif stat.S_ISREG(info.st_mode):
                seen[relative] = ("file", path.read_bytes(), stat.S_IMODE(info.st_mode))
            else:
                seen[relative] = ("other", stat.S_IFMT(info.st_mode), stat.S_IMODE(info.st_mode))
    return seen


def changed(before, after):
    return {path for path in before.keys() | after.keys() if before.get(path) != after.get(path)}


@pytest.fixture
def router(tmp_path):
    root = make_root(tmp_path / "root")
    (root / "var" / "pckg").mkdir()
    base = vrp.make_package(tmp_path, "base", "1.0", files={"/etc/base.conf": "setting 1\n", "/etc/passwd": "root\n"})
    assert install(root, base).status == 0
    assert install(root, vrp.make_package(tmp_path, "tool", "1.0", files={"/bin/tool": "t"})).status == 0
    (root / "postlog").unlink()
    return root


# name: (records, refused, a message the run must show, paths of its own that may change)
HOSTILE = {
    "own_link_leads_onto_another_package": (
        [vrp.file_record("/usr", LINK, "/etc"), vrp.file_record("/usr/base.conf", REG, "pwned")],
        False, "WARNING: file /etc/base.conf collides with base package", {"/usr"}),
    "relative_link_leads_onto_another_package": (
        [vrp.file_record("/lib", LINK, "etc"), vrp.file_record("/lib/passwd", REG, "pwned")],
        False, "WARNING: file /etc/passwd collides with base package", {"/lib"}),
    "repeated_slashes_spell_an_owned_file": (
        [vrp.file_record("//etc//base.conf", REG, "pwned")],
        False, "WARNING: file /etc/base.conf collides with base package", set()),
    "dot_components_spell_an_owned_file": (
        [vrp.file_record("/./etc/./passwd", REG, "pwned")],
        False, "WARNING: file /etc/passwd collides with base package", set()),
    "file_then_directory_of_one_path": (
        [vrp.file_record("/opt", DIR), vrp.file_record("/opt/thing", REG, "f"), vrp.file_record("/opt/thing", DIR)],
        False, "WARNING: ghost file /opt/thing", {"/opt", "/opt/thing"}),
    "link_into_the_database": (
        [vrp.file_record("/d", LINK, "/var/pdb"), vrp.file_record("/d/base/files", REG, "etc/passwd\n")],
        True, "ERROR: installation of evil-1.0 failed: broken package", set()),
    "relative_link_into_its_own_record": (
        [vrp.file_record("/d", LINK, "var/pdb/evil"), vrp.file_record("/d/schedule", REG, "uninstall\n")],
        True, "ERROR: installation of evil-1.0 failed: broken package", set()),
    "chain_of_links_into_another_record": (
        [vrp.file_record("/b", LINK, "/var"), vrp.file_record("/a", LINK, "/b/pdb/base"),
         vrp.file_record("/a/version", REG, "0 0\n")],
        True, "ERROR: installation of evil-1.0 failed: broken package", set()),
    "record_planted_directly": (
        [vrp.file_record("/var/pdb/base/schedule", REG, "uninstall\n")],
        True, "ERROR: installation of evil-1.0 failed: broken package", set()),
    "parent_components_into_the_database": (
        [vrp.file_record("/etc/../var/pdb/base/version", REG, "0 0\n")],
        True, "ERROR: installation of evil-1.0 failed: broken package", set()),
    "files_into_the_disabled_area": (
        [vrp.file_record("/x/base/etc/base.conf", REG, "pwned")],
        True, "ERROR: installation of evil-1.0 failed: broken package", set()),
}


@pytest.mark.parametrize("case", sorted(HOSTILE))
def test_hostile_package_changes_nothing_outside_its_own_paths(router, case):
    records, refused, message, own = HOSTILE[case]
    before = snapshot(router)
    result = install(router, vrp.raw_package("evil", "1.0", records))
    assert message in result.messages
    after = snapshot(router)
    touched = changed(before, after)
    if refused:
        assert result.status == 1
        assert touched == set(), "a refused package left something behind"
        return
    assert result.status == 0
    assert touched - own == {p for p in touched if p.startswith("/var/pdb/evil")}
    listed = (router / "var" / "pdb" / "evil" / "files").read_text().split()
    assert all(after.get("/" + path, ("other",))[0] != "other" for path in listed), "a directory is listed"
    # Its file list says what is on disk: uninstalling takes every file of it away again, and only
    # the directories it made stay.
    schedule(router, "evil", "uninstall")
    run_installer(router, "missing.vrp")
    left = changed(before, snapshot(router))
    assert all(after[path][0] == "other" for path in left) and left <= own


def make_fifo(path):
    os.mkfifo(path)


# name: (prepare the root, arguments of the run, a message the run must show or None)
STRAY = {
    # Opening a FIFO would wait for a writer at every start.
    "fifo_in_the_repository": (
        lambda root: make_fifo(root / "var" / "pckg" / "stuck.vrp"), [], "ERROR: broken package stuck.vrp"),
    "fifo_as_the_post_log": (lambda root: make_fifo(root / "postlog"), ["missing.vrp"], None),
    # Writing the log through it would overwrite the record, and the next start uninstall base.
    "post_log_linked_to_a_record": (
        lambda root: os.symlink("/var/pdb/base/version", root / "postlog"), ["missing.vrp"], None),
    "post_log_hard_linked_to_a_record": (
        lambda root: os.link(root / "var" / "pdb" / "base" / "version", root / "postlog"), ["missing.vrp"], None),
    # Disabling through it would move base's files into another record's directory.
    "link_planted_as_the_disabled_area": (
        lambda root: (os.makedirs(root / "x"), os.symlink("/var/pdb/base", root / "x" / "base"),
                      schedule(root, "base", "disable")),
        ["missing.vrp"], "ERROR: can not disable base-1.0: /x/base/etc leads out of /x/base"),
}


@pytest.mark.parametrize("case", sorted(STRAY))
def test_stray_file_neither_stops_nor_redirects_a_run(router, case):
    prepare, args, message = STRAY[case]
    prepare(router)
    postlog = router / "postlog"
    kept = os.lstat(postlog) if os.path.lexists(postlog) else None
    before = snapshot(router)
    # A run that blocked would time out here. (The harness would read the log, so it is not used.)
    result = database_roots.run_installer(router, *args, timeout=30)
    if message:
        assert message in result.stdout.decode()
    touched = changed(before, snapshot(router)) - {"/var/pdb/base/schedule"}
    assert touched == set()
    if kept and not stat.S_ISREG(kept.st_mode):
        assert os.lstat(postlog).st_mode == kept.st_mode  # left as it was
    # The next start finds base as it was.
    database_roots.run_installer(router, "missing.vrp", timeout=30)
    assert (router / "var" / "pdb" / "base" / "version").read_text().split()[0] == str(vrp.pack_version("1.0"))
    assert (router / "etc" / "base.conf").read_text() == "setting 1\n"


def test_collection_never_enters_the_database_reached_through_a_link(router):
    data = router / "data"
    data.mkdir()
    os.rename(router / "var" / "pdb", data / "pdb")
    os.symlink("/data/pdb", router / "var" / "pdb")
    (data / "stray").write_text("")
    before = snapshot(router)
    for directory in ("/data", "/data/pdb/base"):
        result = run_installer(router, "--filegc", directory)
        assert result.status == 0
    assert changed(before, snapshot(router)) == {"/data/stray"}
    assert "WARNING: not collecting files below /data/pdb/base: it holds the package database" in result.stdout
