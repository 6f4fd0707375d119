"""--filegc: unowned files below the given directories go, owned files and directories stay."""
import os
import stat

import pytest

from database_roots import run_installer, tree, write_record

OWNED_AFTER = ["data/", "data/owned", "data/sub/", "data/sub/deeper/", "data/sub/owned2"]


@pytest.fixture
def router(tmp_path):
    write_record(tmp_path, "base", files=["data/owned", "", "/data/sub/owned2"])
    write_record(tmp_path, "netset")  # a bundle record owns nothing
    data = tmp_path / "data"
    (data / "sub" / "deeper").mkdir(parents=True)
    for name in ["owned", "stray", "sub/owned2", "sub/stray2"]:
        (data / name).write_text(name)
    os.symlink("owned", data / "link_to_owned")
    os.symlink("sub", data / "link_to_directory")
    os.mkfifo(data / "fifo")
    os.mknod(data / "device", stat.S_IFCHR | 0o600, os.makedev(1, 3))
    (tmp_path / "outside").mkdir()
    (tmp_path / "outside" / "kept").write_text("")
    return tmp_path


@pytest.mark.parametrize("directory", [
    "/data", "/data/", "//data//", "/data/.", "/data/sub/..", "/outside/../data", "/../data",
])
def test_collects_unowned_entries_of_every_kind_for_any_spelling(router, directory):
    result = run_installer(router, "--filegc", directory)
    assert (result.returncode, result.stdout, result.stderr) == (0, b"", b"")
    assert tree(router / "data") == [path[len("data/"):] for path in OWNED_AFTER[1:]]
    assert (router / "outside" / "kept").exists()


@pytest.mark.parametrize("directory", ["data", "./data", "data/", ""])
def test_relative_names_are_refused(router, directory):
    before = tree(router)
    result = run_installer(router, "--filegc", directory)
    assert result.returncode == 0
    assert result.stdout.decode() == f"WARNING: not collecting files below {directory}: not an absolute path\n"
    assert tree(router) == before


def test_each_directory_is_collected_and_the_database_survives_the_root(router):
    (router / "var" / "stray").write_text("")
    result = run_installer(router, "--filegc", "/outside", "/")
    assert result.stdout == b""
    assert tree(router) == sorted([
        *OWNED_AFTER, "outside/", "var/", "var/pdb/",
        "var/pdb/base/", "var/pdb/base/files", "var/pdb/base/version",
        "var/pdb/netset/", "var/pdb/netset/version",
    ])


@pytest.mark.parametrize("directory", ["/var/pdb", "/var/pdb/base/", "/var/../var/pdb/netset"])
def test_the_database_itself_is_never_collected(router, directory):
    result = run_installer(router, "--filegc", directory)
    assert result.stdout.decode() == \
        f"WARNING: not collecting files below {directory}: it holds the package database\n"
    assert sorted(os.listdir(router / "var" / "pdb" / "base")) == ["files", "version"]


@pytest.mark.parametrize("link, target, directory", [
    ("alias", "data", "/alias"),
    ("alias", "data", "/alias/sub"),
    ("deep", "data/sub", "/deep"),
    ("records", "var/pdb", "/records"),
    ("lib", "var", "/lib/pdb"),
])
def test_names_through_symbolic_links_are_refused(router, link, target, directory):
    # Built from the link's name, the paths would match no record, and owned files would go.
    os.symlink(target, router / link)
    before = tree(router)
    result = run_installer(router, "--filegc", directory)
    assert (result.returncode, result.stdout.decode()) == \
        (0, f"WARNING: not collecting files below {directory}: it is reached through a symbolic link\n")
    assert tree(router) == before


@pytest.mark.parametrize("setup, args, output", [
    ("no database", [], "WARNING: could not open repo\n"
                        "WARNING: no package is installed, not collecting files below /data\n"),
    ("no database", ["-q"], ""),
    ("empty database", [], "WARNING: no package is installed, not collecting files below /data\n"),
    ("bundle records only", [], "WARNING: no package is installed, not collecting files below /data\n"),
    ("hidden records only", [], "WARNING: no package is installed, not collecting files below /data\n"),
])
def test_without_installed_packages_nothing_is_collected(tmp_path, setup, args, output):
    if setup != "no database":
        (tmp_path / "var" / "pdb").mkdir(parents=True)
    if setup == "bundle records only":
        write_record(tmp_path, "netset")
    if setup == "hidden records only":
        write_record(tmp_path, ".base", files=[])
    (tmp_path / "data").mkdir()
    (tmp_path / "data" / "precious").write_text("")
    result = run_installer(tmp_path, *args, "--filegc", "/data")
    assert (result.returncode, result.stdout.decode()) == (0, output)
    assert (tmp_path / "data" / "precious").exists()


def test_ownership_comes_from_every_loaded_record(tmp_path):
    # The damaged record still owns its files (it is only scheduled for uninstall), the disabled
    # one owns its files in the disabled area, the hidden directory is no record at all.
    write_record(tmp_path, "base", files=["data/a"])
    write_record(tmp_path, "broken", files=["data/b"], version_line="garbage\n", schedule="uninstall\n")
    write_record(tmp_path, "off", files=["x/off/data/c"], disabled="")
    write_record(tmp_path, ".old", files=["data/d"])
    for path in ["data/a", "data/b", "data/c", "data/d", "x/off/data/c", "x/off/data/e"]:
        (tmp_path / path).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / path).write_text("")
    result = run_installer(tmp_path, "--filegc", "/data", "/x")
    assert result.stdout == b""
    assert tree(tmp_path / "data") == ["a", "b"]
    assert tree(tmp_path / "x") == ["off/", "off/data/", "off/data/c"]
    assert (tmp_path / "var" / "pdb" / "broken" / "schedule").exists()  # no request is carried out here


def test_paths_longer_than_a_line_buffer_are_compared_whole(tmp_path):
    deep = "data/" + "/".join(["d" * 60] * 10)
    owned, stray = deep + "/kept", deep + "/kept-not"
    write_record(tmp_path, "base", files=[owned])
    (tmp_path / deep).mkdir(parents=True)
    (tmp_path / owned).write_text("")
    (tmp_path / stray).write_text("")
    result = run_installer(tmp_path, "--filegc", "/data")
    assert result.stdout == b""
    assert (tmp_path / owned).exists()
    assert not (tmp_path / stray).exists()



def test_record_paths_written_in_any_spelling_still_own_their_files(tmp_path):
    # Lists written before paths were stored canonically: collection compares one spelling.
    write_record(tmp_path, "old", files=["//data//a", "/./data/./b", "data/c/", "data/stray-not"])
    for name in ["a", "b", "c", "stray"]:
        (tmp_path / "data").mkdir(exist_ok=True)
        (tmp_path / "data" / name).write_text("")
    result = run_installer(tmp_path, "--filegc", "/data")
    assert (result.returncode, result.stdout) == (0, b"")
    assert tree(tmp_path / "data") == ["a", "b", "c"]
