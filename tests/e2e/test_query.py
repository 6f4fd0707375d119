"""installer-query on one router root that holds a bundle, a disabled member, a pending request,
hand-made damage and leftovers of an interrupted run: each command's answers, and that none of
them changes a byte below the root."""
import os
import pathlib
import shutil
import subprocess

import pytest

import vrp
from install_harness import install, make_root, packages, schedule  # noqa: F401 (fixture)

QUERY = vrp.build_dir() / "installer" / "installer-query"


@pytest.fixture(scope="module")
def root(tmp_path_factory):
    base = tmp_path_factory.mktemp("query")
    root = make_root(base / "root")
    packages = base / "packages"
    packages.mkdir()
    assert install(root, vrp.make_bundle(packages, "sys", "1.0", [
        vrp.member("a", "1.0", files={"/usr/a": "a", "/etc/a.conf": "c"}),
        vrp.member("extra", "1.0", files={"/usr/extra": "e", "/usr/extra2": "f"})],
        bundle_names=["extra"])).status == 0
    assert install(root, vrp.make_package(packages, "tool", "2.1rc3", files={"/usr/bin/tool": "t", "/usr/bin/tool2": "u"})).status == 0
    pdb = root / "var" / "pdb"
    schedule(root, "tool", "disable")
    (root / "usr" / "bin" / "tool2").unlink()                       # removed by hand
    shutil.copy(root / "x" / "extra" / "usr" / "extra", root / "usr" / "extra")   # put back, copy stays
    os.rename(root / "x" / "extra" / "usr" / "extra2", root / "usr" / "extra2")   # put back, moved
    (pdb / "a" / ".files").write_text("usr/a\n")                    # a record write cut short
    (pdb / "a" / ".operation").write_text("disable\n")               # an operation cut short
    (pdb / "half").mkdir()                                          # an install cut short
    (pdb / "half" / "files").write_text("usr/half\n")
    (pdb / "half" / "deps").write_text("a\n")
    before = snapshot(root)
    yield root
    assert snapshot(root) == before, "installer-query changed the root"


def snapshot(root):
    """Every path below the root with its kind, content and modification time."""
    found = {}
    for parent, folders, files in os.walk(root):
        for name in folders + files:
            path = pathlib.Path(parent, name)
            info = path.lstat()
            content = path.read_bytes() if path.is_file() and not path.is_symlink() else None
            found[str(path.relative_to(root))] = (info.st_mode, info.st_mtime_ns, content)
    return found


def query(root, *args):
    completed = subprocess.run([str(QUERY), "-r", str(root), *args], capture_output=True, text=True, timeout=60)
    return completed.returncode, completed.stdout, completed.stderr


HALF_DAMAGE = ("installer-query: cannot read /var/pdb/half/version\n"
               "installer-query: cannot read /var/pdb/half/deps\n")


@pytest.mark.parametrize("args, status, stdout, stderr", [
    (["list"], 1,
     "NAME   VERSION  TYPE     STATE     BUNDLE  REQUEST\n"
     "a      1.0      package  enabled   sys     -\n"
     "extra  1.0      package  disabled  sys     -\n"
     "half   0.0      package  enabled   -       uninstall\n"
     "sys    1.0      bundle   enabled   -       -\n"
     "tool   2.1rc3   package  enabled   -       disable\n", HALF_DAMAGE),
    (["-t", "list"], 1,
     "a\t1.0\tpackage\tenabled\tsys\t-\nextra\t1.0\tpackage\tdisabled\tsys\t-\n"
     "half\t0.0\tpackage\tenabled\t-\tuninstall\nsys\t1.0\tbundle\tenabled\t-\t-\n"
     "tool\t2.1rc3\tpackage\tenabled\t-\tdisable\n", HALF_DAMAGE),
])
def test_list(root, args, status, stdout, stderr):
    assert query(root, *args) == (status, stdout, stderr)


@pytest.mark.parametrize("args, status, stdout, stderr", [
    (["files", "extra"], 0, "PATH         WHERE\n/usr/extra   /x/extra/usr/extra\n/usr/extra2  /x/extra/usr/extra2\n", ""),
    (["-t", "files", "tool"], 0, "/usr/bin/tool\tin place\n/usr/bin/tool2\tin place\n", ""),
    (["files", "sys"], 0, "", ""),
    (["files", "half"], 0, "PATH       WHERE\n/usr/half  in place\n", "installer-query: cannot read /var/pdb/half/version\n"),
    (["files", "../pdb/a"], 1, "", "installer-query: ../pdb/a is not installed\n"),
])
def test_files(root, args, status, stdout, stderr):
    assert query(root, *args) == (status, stdout, stderr)


@pytest.mark.parametrize("paths, status, stdout", [
    (["/usr/a", "/x/extra/usr/extra", "/usr/bin/tool2"], 0,
     "PATH                OWNER\n/usr/a              a\n/x/extra/usr/extra  extra\n/usr/bin/tool2      tool\n"),
    # A disabled package owns its files in its area only; a copy in place belongs to no one.
    (["/usr/extra", "/usr//bin/../a"], 1, "PATH        OWNER\n/usr/extra  not owned\n/usr/a      a\n"),
])
def test_owner(root, paths, status, stdout):
    assert query(root, "owner", *paths) == (status, stdout, HALF_DAMAGE)


@pytest.mark.parametrize("names, status, stdout", [
    ([], 1,
     "PACKAGE  PROBLEM      PATH\n"
     "a        leftover     /var/pdb/a/.files\n"
     "a        interrupted  /var/pdb/a/.operation\n"
     "extra    duplicate    /usr/extra\n"
     "extra    misplaced    /usr/extra2\n"
     "half     unreadable   /var/pdb/half/version\n"
     "half     unreadable   /var/pdb/half/deps\n"
     "half     missing      /usr/half\n"
     "tool     missing      /usr/bin/tool2\n"
     "checked 7 files of 5 packages: 8 problems\n"),
    (["sys", "nothing"], 1, "PACKAGE  PROBLEM        PATH\nnothing  not-installed  -\nchecked 0 files of 1 packages: 1 problem\n"),
])
def test_verify(root, names, status, stdout):
    assert query(root, "verify", *names) == (status, stdout, "")


def test_verify_is_clean_on_a_sound_root(tmp_path, packages):
    root = make_root(tmp_path / "root")
    install(root, vrp.make_bundle(packages, "sys", "1.0", [vrp.member("a", "1.0", files={"/usr/a": "a"}),
                                                           vrp.member("b", "1.0", files={"/usr/b": "b"})],
                                  bundle_names=["b"]))
    assert query(root, "-t", "verify") == (0, "", "")
    assert query(root, "verify", "b") == (0, "checked 1 files of 1 packages: no problems\n", "")


@pytest.mark.parametrize("args, status, first_line", [
    (["--help"], 0, "usage: installer-query [-r ROOT] [-t] COMMAND [ARGUMENT...]"),
    ([], 2, "installer-query: no command given"),
    (["show"], 2, "installer-query: unknown command: show"),
    (["-x", "list"], 2, "installer-query: unknown option: -x"),
    (["files"], 2, "installer-query: wrong number of arguments for files"),
    (["list", "a"], 2, "installer-query: wrong number of arguments for list"),
    (["owner", "usr/a"], 2, "installer-query: not an absolute path: usr/a"),
    (["-r"], 2, "installer-query: -r needs a directory"),
])
def test_command_line(args, status, first_line):
    completed = subprocess.run([str(QUERY), *args], capture_output=True, text=True, timeout=60)
    output = completed.stdout if status == 0 else completed.stderr
    assert (completed.returncode, output.splitlines()[0]) == (status, first_line)
    assert "verify [NAME...]" in output


def test_missing_root_is_refused(tmp_path):
    completed = subprocess.run([str(QUERY), "-r", str(tmp_path / "none"), "list"], capture_output=True, text=True)
    assert completed.returncode == 2 and "cannot change root" in completed.stderr
