"""What a user asks each program first: --help, --version, its manual page, and where installing puts them."""
import os
import re
import subprocess

import pytest

BUILD = os.environ.get("ROUTER_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
SOURCE = os.path.join(os.path.dirname(__file__), "..", "..")

# name, binary in the build tree, manual page in the source tree, where installing puts both
PROGRAMS = [
    ("installer", "installer/installer", "installer/installer.8", "sbin", "man8"),
    ("installer-query", "installer/installer-query", "installer/installer-query.8", "sbin", "man8"),
    ("mkvrp", "tools/mkvrp/mkvrp", "tools/mkvrp/mkvrp.1", "bin", "man1"),
    ("floppyset", "tools/floppyset/floppyset", "tools/floppyset/floppyset.1", "bin", "man1"),
]


def project_version():
    with open(os.path.join(BUILD, "CMakeCache.txt")) as cache:
        for line in cache:
            if line.startswith("CMAKE_PROJECT_VERSION:"):
                return line.split("=", 1)[1].strip()
    raise AssertionError("no project version in CMakeCache.txt")


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=60, **kwargs)


@pytest.mark.parametrize("name, binary, page, _bin, _section", PROGRAMS)
def test_help_version_and_manual_agree(name, binary, page, _bin, _section):
    program = os.path.join(BUILD, binary)
    version = run(program, "--version")
    assert (version.returncode, version.stdout, version.stderr) == (0, f"{name} {project_version()}\n", "")
    help_text = run(program, "--help")
    assert (help_text.returncode, help_text.stderr) == (0, "")
    assert help_text.stdout.startswith(f"usage: {name} ")

    environment = dict(os.environ, MANWIDTH="80", LC_ALL="C")
    manual = run("man", "--warnings", "-l", os.path.join(SOURCE, page), env=environment)
    assert (manual.returncode, manual.stderr) == (0, "")
    assert manual.stdout.startswith(f"{name.upper()}(")
    # Every option the program names in its help is described in its manual.
    options = set(re.findall(r"(?<![\w-])--?[a-z][\w-]*", help_text.stdout))
    assert options and {option for option in options if option not in manual.stdout} == set()


def test_install_puts_programs_and_manuals_in_place(tmp_path):
    result = run("cmake", "--install", BUILD, "--prefix", str(tmp_path))
    assert result.returncode == 0, result.stderr
    for name, _binary, page, bin_folder, section in PROGRAMS:
        assert os.access(tmp_path / bin_folder / name, os.X_OK)
        assert (tmp_path / "share" / "man" / section / os.path.basename(page)).is_file()
