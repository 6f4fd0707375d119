"""The demo router's life in a virtual machine: installed from a CD-ROM, then started from its own
disk three times through the BIOS, our boot program, extlinux, the kernel and the router's start-up,
which runs installer before anything else; and the same router installed from a FAT hard disk."""
import fcntl
import os

import pytest

import router_console
import vm_runner
from conftest import BUILD_DIR

DISK_BYTES = 64 << 20  # one ext3 partition
# More than 1,023 cylinders of 255 heads and 63 sectors: a boot partition and a root partition.
LARGE_DISK_BYTES = 1030 * 255 * 63 * 512


@pytest.fixture(scope="module")
def packages(media):
    # Beside the installation system, whose Debian packages and i386 build it uses: the same lock.
    with open(os.path.join(media, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        return router_console.build_packages(BUILD_DIR, media, os.path.join(media, "router"))


def start_output(run):
    """What the machine printed before the login prompt: loader, kernel, start-up."""
    return run.output.split("router login: ")[0]


def listed(text):
    """installer-query list as {name: (version, state, request)}."""
    rows = router_console.table(text)
    assert rows[0] == ["NAME", "VERSION", "TYPE", "STATE", "BUNDLE", "REQUEST"], text
    return {row[0]: (row[1], row[3], row[5]) for row in rows[1:]}


def everything_enabled(firewall="2.0", snmpd_request="-"):
    return {"bootloader": ("1.0", "enabled", "-"), "firewall": (firewall, "enabled", "-"),
            "kernel": ("6.1", "enabled", "-"), "snmpd": ("5.0", "enabled", snmpd_request),
            "system": ("3.0", "enabled", "-")}


def test_router_installed_from_cd_starts_three_times(media, packages, tmp_path):
    iso = str(tmp_path / "cd.iso")
    router_console.make_cd(packages, str(tmp_path / "cd"), iso)
    disk = str(tmp_path / "router.img")
    vm_runner.sparse_image(disk, DISK_BYTES)
    run = router_console.install_from_cd(media, disk, iso)
    assert "Software installed." in run.output, run.output[-4000:]

    # First start: nothing waits; a newer firewall is dropped into the repository and snmpd is
    # scheduled to be disabled, as other software of the router would do.
    upgrade = router_console.copy_commands(packages[router_console.UPGRADE], "/var/pckg/firewall-2.1.vrp")
    commands = ["installer-query list", "cat /postlog", *upgrade, "echo disable > /var/pdb/snmpd/schedule",
                "installer-query list"]
    run, printed = router_console.session(disk, commands)
    assert len(printed) == len(commands), run.output[-4000:]
    booted = start_output(run)
    # BIOS -> boot program -> partition 1's boot sector (extlinux) -> kernel -> start-up -> login
    assert "SYSLINUX" in booted, booted
    assert "installed" not in booted and "ERROR" not in booted, booted
    assert listed(printed[0]) == everything_enabled()
    assert printed[1] == ""
    assert listed(printed[-1]) == everything_enabled(snmpd_request="disable")
    assert run.finished and "reboot: Restarting system" in run.output

    # Second start: installer upgrades the firewall and disables snmpd before the login.
    run, printed = router_console.session(disk, ["cat /postlog", "installer-query list", "ls -A /var/pckg /ram",
                                                 "ls /x/snmpd/usr/sbin /usr/sbin", "cat /var/log/install.log"])
    assert len(printed) == 5, run.output[-4000:]
    booted = start_output(run)
    assert "disabled snmpd-5.0" in booted and "installed firewall-2.1" in booted, booted
    postlog = printed[0].splitlines()
    assert "disabled snmpd-5.0" in postlog and "installed firewall-2.1" in postlog, printed[0]
    assert listed(printed[1]) == {**everything_enabled(firewall="2.1"), "snmpd": ("5.0", "disabled", "-")}
    assert printed[2].split() == ["/ram:", "/var/pckg:"]
    assert printed[3].split() == ["/usr/sbin:", "fwctl", "/x/snmpd/usr/sbin:", "snmpd"]
    assert printed[4].splitlines() == ["system installed", "firewall up"]

    # Third start: nothing left to do.
    run, printed = router_console.session(disk, ["cat /postlog", "installer-query list", "installer-query verify"])
    assert len(printed) == 3, run.output[-4000:]
    booted = start_output(run)
    assert "installed" not in booted and "disabled" not in booted, booted
    assert printed[0] == ""
    assert listed(printed[1]) == {**everything_enabled(firewall="2.1"), "snmpd": ("5.0", "disabled", "-")}
    assert printed[2].endswith(" of 5 packages: no problems\n"), printed[2]


def test_router_installed_from_fat_hard_disk_starts_from_its_boot_partition(media, packages, tmp_path):
    source = str(tmp_path / "source.img")
    router_console.make_fat_source(packages, str(tmp_path / "source"), source)
    disk = str(tmp_path / "router.img")
    vm_runner.sparse_image(disk, LARGE_DISK_BYTES)
    try:
        run = router_console.install_from_hard_disk(media, disk, source)
        assert "Software installed." in run.output, run.output[-4000:]
        run, printed = router_console.session(disk, ["installer-query list", "cat /autorun.scr", "mount"])
    finally:
        os.unlink(disk)  # a few hundred MiB of file systems
    assert len(printed) == 3, run.output[-4000:]
    assert "SYSLINUX" in start_output(run)
    assert listed(printed[0]) == everything_enabled()
    assert printed[1] == "hostname router\n"
    mounted = {line.split()[2]: line.split()[0] for line in printed[2].splitlines() if " on " in line}
    assert mounted["/"] == "/dev/hda2" and mounted["/boot"] == "/dev/hda1", printed[2]
