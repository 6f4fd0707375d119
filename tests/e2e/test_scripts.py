"""Package scripts: how they are stored, when they run, and what a failing one does."""
import os
import stat

import pytest

import vrp
from install_harness import install, make_root, packages, run_installer, schedule

PROLOGUE = "#!/bin/bash\n\n. /vorn/lib/install/profile.sh\n\n"
REGULAR = vrp.TYPE_REGULAR | 0o644


@pytest.fixture
def root(tmp_path):
    root = make_root(tmp_path / "root")
    assert install(root, vrp.raw_package("base", "1.0", [vrp.file_record("/base", REGULAR, "b")])).status == 0
    return root


def log(root):
    path = root / "tmp" / "script.log"
    return path.read_text().splitlines() if path.exists() else []


def logging_package(packages, name="p", version="1.0", **fields):
    """Scripts that note in /tmp/script.log when they run and whether the package's files are there."""
    return vrp.make_package(
        packages, name, version, files={"/etc/p.conf": "conf"},
        install_script='test -e /etc/p.conf && echo "install with files" >> /tmp/script.log\n',
        uninstall_script='test -e /etc/p.conf && echo "uninstall with files" >> /tmp/script.log\n', **fields)


def test_scripts_are_stored_with_their_prologue_and_run_around_the_files(root, packages):
    result = install(root, logging_package(packages))
    assert (result.status, result.messages) == (0, ["installed p-1.0"])
    script = root / "var" / "pdb" / "p" / "oninstall"
    assert script.read_text() == PROLOGUE + 'test -e /etc/p.conf && echo "install with files" >> /tmp/script.log\n'
    assert stat.S_IMODE(script.stat().st_mode) == 0o755
    assert stat.S_IMODE((root / "var" / "pdb" / "p" / "onuninstall").stat().st_mode) == 0o755
    assert log(root) == ["install with files"]

    schedule(root, "p", "uninstall")
    assert run_installer(root, "/none.vrp").messages == []
    assert log(root) == ["install with files", "uninstall with files"]
    assert not (root / "var" / "pdb" / "p").exists()


def test_package_installed_disabled_runs_its_install_script_only_when_enabled(root, packages):
    install(root, vrp.raw_package("keeper", "1.0", extra_parts=[vrp.part(vrp.PART_CONFLICTS, vrp.name_list(["p"]))]))
    result = install(root, logging_package(packages))
    assert result.messages == ["installed (disabled) p-1.0"]
    assert log(root) == []
    schedule(root, "keeper", "uninstall")
    schedule(root, "p", "enable")
    result = run_installer(root, "/none.vrp")
    assert result.messages == ["enabled p-1.0"]
    assert log(root) == ["install with files"]


@pytest.mark.parametrize("script, warnings", [
    ("exit 0\n", []),
    ("exit 1\n", ["WARNING: package p-1.0 oninstall script failed"]),
    ("kill -9 $$\n", ["WARNING: package p-1.0 oninstall script failed"]),
])
def test_failing_install_script_warns_and_the_install_completes(root, packages, script, warnings):
    result = install(root, vrp.make_package(packages, "p", "1.0", files={"/etc/p": "p"}, install_script=script))
    assert (result.status, result.messages) == (0, warnings + ["installed p-1.0"])
    assert (root / "etc" / "p").exists()


def test_script_reading_its_input_leaves_the_rest_of_a_piped_bundle_alone(root, packages):
    # The bundle arrives on standard input; the second member lies far beyond what has been read
    # when the first member's script runs.
    reader = 'while IFS= read -r -N 4096 chunk; do :; done\n'
    bundle = vrp.make_bundle(packages, "sys", "1.0", [
        vrp.member("a", "1.0", files={"/etc/a": "a"}, install_script=reader),
        vrp.member("b", "1.0", files={"/etc/b": os.urandom(300000)})])
    result = install(root, bundle)
    assert (result.status, result.messages) == (0, ["installed sys-1.0"])
    assert (root / "etc" / "b").stat().st_size == 300000


def test_empty_script_part_stores_the_prologue_alone(root):
    package = vrp.raw_package("p", "1.0", extra_parts=[vrp.part(vrp.PART_INSTALL_SCRIPT, b"")])
    assert install(root, package).status == 0
    assert (root / "var" / "pdb" / "p" / "oninstall").read_text() == PROLOGUE


def test_script_parts_after_the_file_data_are_not_seen(root):
    magic, parts = vrp.split_parts(vrp.raw_package("p", "1.0", [vrp.file_record("/p", REGULAR, "p")]))
    parts.append((vrp.PART_INSTALL_SCRIPT, b"echo late > /tmp/late\n"))
    result = install(root, vrp.join_parts(magic, parts))
    assert (result.status, result.messages) == (0, ["installed p-1.0"])
    assert (root / "p").exists()
    assert not (root / "var" / "pdb" / "p" / "oninstall").exists()


def test_script_part_cut_short_is_a_broken_package(root):
    package = vrp.container([vrp.part(vrp.PART_PACKAGE, vrp.header_record("p", "1.0")),
                             vrp.part(vrp.PART_INSTALL_SCRIPT, b"echo hi\n", size=1000)])
    result = install(root, package)
    # one message: nothing failed to be created
    assert (result.status, result.messages) == (1, ["ERROR: installation of p-1.0 failed: broken package"])
    assert not (root / "var" / "pdb" / "p").exists()


def test_script_of_a_package_without_record_needs_its_directory(root):
    parts = [vrp.part(vrp.PART_INSTALL_SCRIPT, b"exit 0\n")]
    package = vrp.raw_package("p", "1.0", [vrp.file_record("/p", REGULAR, "p")], extra_parts=parts,
                              magic=vrp.PACKAGE_MAGIC_NODB)
    result = install(root, package)
    assert result.status == 1
    assert result.messages == ["ERROR: installation of p-1.0 failed: could not create oninstall: No such file or directory"] * 2
    assert not (root / "p").exists()
