"""The installer's command line: usage errors, exit statuses and the change of root."""
import os
import subprocess

import pytest

from install_harness import make_root, run_installer

BUILD = os.environ.get("ROUTER_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
INSTALLER = os.path.join(BUILD, "installer", "installer")
USAGE = "usage: installer [-q] [--filegc] [-r <root>] [-]\n"


def run(*args, stdin=b""):
    return subprocess.run([INSTALLER, *args], input=stdin, capture_output=True, timeout=30)


@pytest.fixture
def root(tmp_path):
    """A router root whose one installed package has a pending schedule: a loaded database eats it."""
    record = tmp_path / "var" / "pdb" / "base"
    record.mkdir(parents=True)
    (record / "version").write_text(f"{0x01006600} 1\n")
    (record / "files").write_text("")
    (record / "schedule").write_text("bogus\n")
    return tmp_path


@pytest.mark.parametrize("args", [
    ["a.vrp", "b.vrp"],   # only one package file
    ["A.VRP"],            # the extension is case-sensitive
    ["-r"],               # -r without its directory is a usage error
    ["--unknown"],
    ["vrp"],
])
def test_usage_errors_print_usage_and_do_nothing(root, args):
    result = run("-r", str(root), *args) if args != ["-r"] else run(*args)
    assert result.returncode == 0
    assert result.stdout.decode() == USAGE
    assert result.stderr == b""
    if args != ["-r"]:
        # the database was never loaded, so the schedule file is still there
        assert (root / "var" / "pdb" / "base" / "schedule").exists()


def test_unopenable_package_file_fails_silently(root):
    make_root(root)
    result = run_installer(root, "missing.vrp")
    assert result.status == 1
    assert result.stdout == ""
    assert not (root / "var" / "pdb" / "base" / "schedule").exists()


def test_recover_hides_the_cursor_and_overwrites_the_line_above(root):
    result = run("-r", str(root), "--recover", "-q", "missing.vrp")
    assert result.stdout == b"\x1b[?25l\r\x1b[Ainstalling"
    assert result.returncode == 1


def test_ignored_options_and_words_after_stdin_marker(root):
    result = run("-r", str(root), "-b", "--force", "-i", "-q", "-", "extra", "words", stdin=b"not a package")
    assert result.returncode == 1
    assert result.stdout == b""


@pytest.mark.parametrize("mode", [["-"], ["--filegc", "/"], []])
def test_failed_change_of_root_ends_the_run_before_anything_is_touched(tmp_path, mode):
    # Going on would install into, or collect files of, the caller's own system.
    missing = tmp_path / "no-such-root"
    result = run("-r", str(missing), *mode, stdin=b"")
    assert result.stdout.decode() == f"ERROR: can not change root to {missing}: No such file or directory\n"
    assert result.returncode == 1
    assert run("-q", "-r", str(missing), *mode, stdin=b"").stdout == b""
