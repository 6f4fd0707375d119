"""The boot-time run: the repository, the choice among versions, staging in RAM, the downgrade
marker, scheduled changes, the post log and the halt when nothing is left installed."""
import os
import pathlib
import signal
import subprocess
import time

import pytest

import vrp
from install_harness import INSTALLER, install, installed_names, make_root, run_installer, schedule


@pytest.fixture
def root(tmp_path):
    root = make_root(tmp_path / "root")
    (root / "var" / "pckg").mkdir()
    (root / "ram").mkdir()
    return root


@pytest.fixture
def packages(tmp_path):
    folder = tmp_path / "packages"
    folder.mkdir()
    return folder


def drop(root, package, name=None):
    """Puts a package file into the repository, as a router update would."""
    target = root / "var" / "pckg" / (name or pathlib.Path(package).name)
    target.write_bytes(pathlib.Path(package).read_bytes())
    return target


def repository(root):
    return sorted(p.name for p in (root / "var" / "pckg").iterdir())


def version_of(root, name):
    return int((root / "var" / "pdb" / name / "version").read_text().split()[0])


def test_newest_file_of_a_package_is_installed_and_the_older_stays(root, packages):
    drop(root, vrp.make_package(packages, "web", "1.1", files={"/srv/web": "1.1"}))
    drop(root, vrp.make_package(packages, "web", "1.2", files={"/srv/web": "1.2"}))
    result = run_installer(root)
    assert result.status == 0
    assert result.messages == ["WARNING: omitting package web-1.1: newer package is already provided",
                               "installed web-1.2"]
    assert repository(root) == ["web-1.1.vrp"]
    assert (root / "srv" / "web").read_text() == "1.2"
    assert os.listdir(root / "ram") == []


def test_downgrade_marker_prefers_the_older_file_once(root, packages):
    assert install(root, vrp.make_package(packages, "web", "1.2", files={"/srv/web": "1.2"})).status == 0
    drop(root, vrp.make_package(packages, "web", "1.1", files={"/srv/web": "1.1"}))
    drop(root, vrp.make_package(packages, "web", "1.3", files={"/srv/web": "1.3"}))
    (root / "DOWNGRADE").write_text("")
    result = run_installer(root)
    assert "WARNING: omitting package web-1.3: older package is already provided" in result.messages
    assert "installed web-1.1" in result.messages
    assert version_of(root, "web") == vrp.pack_version("1.1")
    assert not (root / "DOWNGRADE").exists()
    assert repository(root) == ["web-1.3.vrp"]


def test_dependencies_are_installed_first_whatever_the_listing_order(root, packages):
    drop(root, vrp.make_package(packages, "app", "1.0", depends=[("lib", "1.0", None)], files={"/usr/bin/app": "a"}),
         "aaa.vrp")
    drop(root, vrp.make_package(packages, "lib", "1.0", files={"/usr/lib/lib": "l"}), "zzz.dpk")
    result = run_installer(root)
    assert result.messages == ["installed lib-1.0", "installed app-1.0"]
    assert repository(root) == []


def test_scan_rules_for_file_names_and_broken_files(root, packages):
    base = vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"})
    drop(root, base)
    drop(root, base, ".hidden.vrp")
    drop(root, base, "upper.VRP")
    drop(root, base, "vrp")
    good = base.read_bytes()
    (root / "var" / "pckg" / "long.vrp").write_bytes(good + b"\0")  # one byte more than its header says
    (root / "var" / "pckg" / "junk.dpk").write_bytes(b"not a package at all")
    result = run_installer(root)
    assert result.messages == ["ERROR: broken package junk.dpk", "ERROR: broken package long.vrp",
                               "installed base-1.0"] or \
        result.messages == ["ERROR: broken package long.vrp", "ERROR: broken package junk.dpk",
                            "installed base-1.0"]
    assert repository(root) == [".hidden.vrp", "junk.dpk", "long.vrp", "upper.VRP", "vrp"]


def test_failed_package_returns_from_ram_to_the_repository(root, packages):
    drop(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"}))
    failing = drop(root, vrp.make_package(packages, "app", "1.0", depends=["missing"]))
    content = failing.read_bytes()
    result = run_installer(root)
    assert "ERROR: can not install app-1.0: missing is not installed, but is required" in result.messages
    assert repository(root) == ["app-1.0.vrp"]
    assert failing.read_bytes() == content
    assert os.listdir(root / "ram") == []


def test_full_ram_leaves_no_partial_copy_and_installs_from_the_repository(root, packages):
    big = os.urandom(64 * 1024)  # incompressible, larger than the RAM disk below
    drop(root, vrp.make_package(packages, "base", "1.0", files={"/etc/big": big}))
    script = (f'mount -t tmpfs -o size=16k tmpfs "{root}/ram" && mount --bind /proc "{root}/proc" && '
              f'"{INSTALLER}" -r "{root}"; echo "ram: $(ls -A "{root}/ram")"')
    completed = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c", script],
                               capture_output=True, timeout=120)
    assert completed.stdout.decode().endswith("ram: \n")
    assert (root / "etc" / "big").read_bytes() == big
    assert repository(root) == []


def test_files_that_fail_stay_untouched_in_the_repository(root, packages):
    """Staging copies into RAM: the repository file is never rewritten, whether it was staged or not."""
    assert install(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"})).status == 0
    big = drop(root, vrp.make_package(packages, "firmware", "1.0", depends=["missing"],
                                      files={"/lib/firmware.bin": os.urandom(10 * 1024 * 1024 + 4096)}))
    small = drop(root, vrp.make_package(packages, "tool", "1.0", depends=["missing"], files={"/etc/tool": "t"}))
    assert big.stat().st_size > 10485760
    for path in (big, small):
        os.utime(path, (1000000, 1000000))
    result = run_installer(root)
    # the post log starts with the earlier run's line
    assert result.messages[0] == "installed base-1.0"
    assert len(result.messages) == 3 and all("missing is not installed" in m for m in result.messages[1:])
    assert repository(root) == ["firmware-1.0.vrp", "tool-1.0.vrp"]
    assert big.stat().st_mtime == small.stat().st_mtime == 1000000
    assert os.listdir(root / "ram") == []


def test_recovery_installs_from_ram_too_and_stages_nothing(root, packages):
    drop(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"}))
    (root / "ram" / "extra-1.0.vrp").write_bytes(
        vrp.make_package(packages, "extra", "1.0", files={"/etc/extra": "e"}).read_bytes())
    result = run_installer(root, "--recover")
    assert sorted(result.messages) == ["installed base-1.0", "installed extra-1.0"]
    assert installed_names(root) == ["base", "extra"]
    assert os.listdir(root / "ram") == []


def test_scheduled_disable_runs_at_start_and_the_request_is_consumed(root, packages):
    for name in ("base", "tool"):
        assert install(root, vrp.make_package(packages, name, "1.0", files={f"/etc/{name}": name})).status == 0
    schedule(root, "tool", "disable")
    result = run_installer(root)
    assert result.messages == ["disabled tool-1.0"]
    assert (root / "x" / "tool" / "etc" / "tool").exists()
    assert not (root / "var" / "pdb" / "tool" / "schedule").exists()


def test_postlog_keeps_the_previous_run_only_when_packages_were_processed(root, packages):
    assert install(root, vrp.make_package(packages, "base", "1.0", files={"/etc/base": "b"})).status == 0
    (root / "postlog").write_text("old line\nunterminated")
    assert run_installer(root).messages == []
    assert (root / "postlog").read_bytes() == b""  # a run without messages leaves it empty

    (root / "postlog").write_text("old line\n")
    drop(root, vrp.make_package(packages, "tool", "1.0", files={"/etc/tool": "t"}))
    assert run_installer(root).messages == ["old line", "installed tool-1.0"]


def test_nothing_installed_after_the_run_halts_the_router(root, packages):
    (root / "var" / "pckg" / "junk.vrp").write_bytes(b"junk")
    process = subprocess.Popen(["unshare", "--mount", "--propagation", "private", "sh", "-c",
                                f'mount --bind /proc "{root}/proc" && exec "{INSTALLER}" -r "{root}"'],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = b""
    try:
        deadline = time.monotonic() + 60
        while not out.endswith(b"Please, reinstall.\n") and time.monotonic() < deadline:
            chunk = os.read(process.stdout.fileno(), 4096)
            if not chunk:
                break
            out += chunk
        time.sleep(0.5)
        assert process.poll() is None, "the run must not end"
    finally:
        process.send_signal(signal.SIGKILL)
        process.communicate(timeout=10)
    assert out.decode().endswith("ERROR: broken package junk.vrp\n\nERROR: router installation failed!!!\n"
                                 "Please, reinstall.\n")
