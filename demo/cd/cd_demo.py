#!/usr/bin/python3
"""A router's life in a virtual machine, unattended: the demo router's packages on an ISO 9660 CD,
a blank disk, the CD-ROM installation system booted in qemu-system-i386 and driven through its menu
over the serial line; then the new disk started on its own three times (BIOS, our boot program,
extlinux, the kernel, the router's start-up with installer, a login on the serial console), with an
upgrade and a scheduled disable carried out at the second start. Every screen is shown as it appears.
Usage: cd_demo.py BUILD_DIR MEDIA_DIR WORK_DIR
"""
import os
import shutil
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "vm"))
import router_console  # noqa: E402
import vm_runner  # noqa: E402

build, media, work = (os.path.abspath(argument) for argument in sys.argv[1:4])


def heading(text):
    print("\n\033[1m== %s ==\033[0m" % text, flush=True)


def say(text):
    print(text, flush=True)


# The router's shell asks the terminal where its cursor is; the answer would end up in the input of
# whatever runs after this demo. The question arrives a few bytes at a time, like all serial output.
CURSOR_QUESTION = b"\x1b[6n"
held = bytearray()


def echo(chunk):
    held.extend(chunk)
    text = bytes(held).replace(CURSOR_QUESTION, b"")
    keep = next((length for length in range(len(CURSOR_QUESTION) - 1, 0, -1)
                 if text.endswith(CURSOR_QUESTION[:length])), 0)
    held[:] = text[len(text) - keep:]
    sys.stdout.buffer.write(text[:len(text) - keep])
    sys.stdout.flush()


def show_file(file_system, path):
    say("\033[1m%s\033[0m" % path)
    text = vm_runner.debugfs(file_system, "cat " + path)
    say("  " + text.rstrip("\n").replace("\n", "\n  ") if text else "  (not there)")


def show_boot_files(disk):
    """The files that make the disk start, read from outside: those setup wrote and those the
    post-installation script made from them."""
    entry = vm_runner.partition_entries(disk)[0]
    file_system = os.path.join(work, "root.fs")
    vm_runner.extract_partition(disk, entry[2], entry[3], file_system)
    for path in ("/etc/lilo.conf", "/etc/fstab", "/boot/extlinux.conf", "/var/log/bootloader.log"):
        show_file(file_system, path)
    os.unlink(file_system)


def start(disk, commands):
    """One start of the router with its screens shown; returns False when it did not end well."""
    started = time.monotonic()
    seen = bytearray()
    login = []

    def watch(chunk):
        echo(chunk)
        seen.extend(chunk)
        if not login and b"router login: " in seen:
            login.append(time.monotonic() - started)

    run, printed = router_console.session(disk, commands, echo=watch)
    print("\033[0m")
    if len(printed) != len(commands) or not run.finished:
        say("cd_demo: the router did not get through its commands (%.0f s)" % run.seconds)
        return False
    say("(the login prompt came %.0f s after the machine was switched on; it restarted after %.0f s)"
        % (login[0], run.seconds))
    return True


def main():
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    heading("The demo router's packages (demo/router/build.sh: demo/packages with Debian's i386 kernel, "
            "busybox and extlinux)")
    packages = router_console.build_packages(build, media, os.path.join(work, "router"))
    for name in router_console.INSTALLED + [router_console.UPGRADE]:
        say("  %-18s %9d bytes" % (name + ".vrp", os.path.getsize(packages[name])))

    heading("A CD with %s and the vpn bundle (xorriso)" % ", ".join(router_console.INSTALLED))
    iso = os.path.join(work, "packages.iso")
    router_console.make_cd(packages, os.path.join(work, "cd"), iso, extra=["vpn"])
    disk = os.path.join(work, "router.img")
    vm_runner.sparse_image(disk, 64 << 20)

    heading("Installing from the CD in qemu (serial console): select all, install, erase the disk")
    run = router_console.install_from_cd(media, disk, iso, echo=echo)
    print("\033[0m\033[?25h")
    if "Software installed." not in run.output:
        say("cd_demo: the installation did not finish (%.0f s)" % run.seconds)
        return 1
    say("(the installation system restarted after %.0f seconds)" % run.seconds)
    heading("What makes the new disk start, read from outside")
    show_boot_files(disk)

    heading("First start of the router from its own disk: log in, look, drop in an upgrade, schedule a change")
    say("The BIOS starts the boot program in the disk's first sector, which starts extlinux in the boot "
        "sector of the active partition; then the kernel, and the router's start-up runs installer before "
        "anything else. Log in as root, password router.")
    upgrade = router_console.copy_commands(packages[router_console.UPGRADE],
                                           "/var/pckg/%s.vrp" % router_console.UPGRADE)
    if not start(disk, ["installer-query list", "cat /postlog", *upgrade, "ls -l /var/pckg",
                        "echo disable > /var/pdb/snmpd/schedule", "installer-query list"]):
        return 1

    heading("Second start: installer installs firewall-2.1 from /var/pckg and disables snmpd")
    if not start(disk, ["cat /postlog", "installer-query list", "ls -A /var/pckg", "cat /var/log/install.log"]):
        return 1

    heading("Third start: nothing is left to do")
    if not start(disk, ["cat /postlog", "ls -A /var/pckg", "installer-query list", "installer-query verify"]):
        return 1

    heading("The router's disk")
    say("%s stays for you. Start the router again (log in as root, password router; Ctrl-A X ends qemu):" % disk)
    say("  qemu-system-i386 -m 128 -nic none -nographic -drive file=%s,format=raw" % os.path.relpath(disk))
    return 0


if __name__ == "__main__":
    sys.exit(main())
