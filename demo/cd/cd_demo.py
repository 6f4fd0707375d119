#!/usr/bin/python3
"""A whole CD-ROM installation in a virtual machine, unattended: the demo packages on an ISO 9660
CD, a blank disk, the installation system booted in qemu-system-i386 and driven through its menu
over the serial line, with every screen shown as it appears; then the new disk read from outside.
Usage: cd_demo.py BUILD_DIR MEDIA_DIR WORK_DIR
"""
import os
import shutil
import stat
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "vm"))
import vm_runner  # noqa: E402

build, media, work = (os.path.abspath(argument) for argument in sys.argv[1:4])
# One firewall version only: the menu resolves a dependency to the first package of its name. The
# bundle is one entry of the menu, like a package.
CD_PACKAGES = ["system", "firewall-2.1", "webadmin", "snmpd", "vpn"]


def heading(text):
    print("\n\033[1m== %s ==\033[0m" % text, flush=True)


def run(command, **options):
    return subprocess.run(command, check=True, **options)


def shell_package(cd):
    """busybox's sh as "/bin/bash", the profile that package scripts source and the "/dev/null"
    their output goes to: what the system of a real router brings along."""
    tree = os.path.join(work, "shell")
    os.makedirs(os.path.join(tree, "bin"))
    os.makedirs(os.path.join(tree, "dev"))
    os.mknod(os.path.join(tree, "dev", "null"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
    os.makedirs(os.path.join(tree, "vorn", "lib", "install"))
    shutil.copy2(os.path.join(media, "extracted", "bin", "busybox"), os.path.join(tree, "bin", "busybox"))
    run(["gcc", "-m32", "-static", "-Os", "-o", os.path.join(tree, "bin", "bash"), os.path.join(HERE, "bash_shim.c")])
    with open(os.path.join(tree, "vorn", "lib", "install", "profile.sh"), "w") as profile:
        profile.write("PATH=/bin:/sbin:/usr/bin:/usr/sbin\n")
    manifest = os.path.join(work, "shell.manifest")
    with open(manifest, "w") as out:
        out.write("name bash\nversion 1.0\narchitecture i386\ndescription The shell for package scripts\n"
                  f"tree {tree}\n")
    # Its file name sorts first, so that it is installed before the packages whose scripts need it.
    run([os.path.join(build, "tools", "mkvrp", "mkvrp"), "build", "--owner", "0:0", manifest,
         os.path.join(cd, "bash.vrp")], stdout=subprocess.DEVNULL)


def make_cd():
    cd = os.path.join(work, "cd")
    os.makedirs(cd)
    for name in CD_PACKAGES:
        run([os.path.join(build, "tools", "mkvrp", "mkvrp"), "build", "--owner", "0:0",
             os.path.join(HERE, "..", "packages", name, "manifest"), os.path.join(cd, name + ".vrp")],
            stdout=subprocess.DEVNULL)
    shell_package(cd)
    for name in sorted(os.listdir(cd)):
        print("  %-18s %7d bytes" % (name, os.path.getsize(os.path.join(cd, name))))
    iso = os.path.join(work, "packages.iso")
    run(["xorriso", "-as", "mkisofs", "-R", "-quiet", "-V", "ROUTER", "-o", iso, cd], stderr=subprocess.DEVNULL)
    return iso


def version_text(packed):
    """A packed version as people write it: 3.0, 1.0.2, 1.0beta2."""
    major, minor, stage, build_number = packed >> 24, (packed >> 16) & 255, (packed >> 8) & 255, packed & 255
    word = {97: "alpha", 98: "beta", 99: "rc"}.get(stage, "")
    if stage == 102:
        return f"{major}.{minor}" + (f".{build_number}" if build_number else "")
    return f"{major}.{minor}{word}" + (str(build_number) if build_number else "")


def show_disk(image):
    entry = vm_runner.partition_entries(image)[0]
    root = os.path.join(work, "root.fs")
    vm_runner.extract_partition(image, entry[2], entry[3], root)
    tree = os.path.join(work, "installed")
    os.makedirs(tree)
    subprocess.run(["debugfs", "-R", f"rdump / {tree}", root], capture_output=True)
    heading("The package database of the new disk (/var/pdb)")
    print("  %-12s %-12s %s" % ("PACKAGE", "VERSION", "FILES"))
    pdb = os.path.join(tree, "var", "pdb")
    for name in sorted(os.listdir(pdb)):
        with open(os.path.join(pdb, name, "version")) as version:
            packed = int(version.read().split()[0])
        files = os.path.join(pdb, name, "files")
        count = sum(1 for _ in open(files)) if os.path.exists(files) else "(bundle)"
        print("  %-12s %-12s %s" % (name, version_text(packed), count))
    heading("Files on the new disk")
    for directory, folders, files in sorted(os.walk(tree)):
        folders.sort()
        relative = os.path.relpath(directory, tree)
        if relative.startswith(("var/pdb", "lost+found", "proc")):
            continue
        for name in sorted(files):
            path = os.path.join(directory, name)
            print("  /%-40s %8d bytes" % (os.path.normpath(os.path.join(relative, name)), os.path.getsize(path)))
    for path in ("etc/lilo.conf", "etc/fstab", "var/log/install.log"):
        heading("/" + path)
        try:
            with open(os.path.join(tree, path)) as shown:
                print(shown.read(), end="")
        except OSError:
            print("(not there)")


def main():
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    heading("A CD with the demo packages (mkvrp, xorriso)")
    iso = make_cd()
    disk = os.path.join(work, "disk.img")
    vm_runner.sparse_image(disk, 64 << 20)
    heading("Booting the CD-ROM installation system in qemu (serial console)")
    # Select all, install, keep no old configuration, erase the disk, and restart at the end.
    answers = [("cancel and reboot.", "a"), ("[X] webadmin ", "i"),
               ("Do you want to keep old configuration? ", "n"), ("Continue?", "y"),
               ("Press ENTER to reboot", "\r")]

    def echo(chunk):
        sys.stdout.buffer.write(chunk)
        sys.stdout.flush()

    machine = vm_runner.boot(media, {}, disk=disk, cdrom=iso, answers=answers, timeout=900,
                             initramfs="initramfs-cdrom.cpio.gz", echo=echo)
    print("\033[0m\033[?25h")
    if "Software installed." not in machine.output:
        print("cd_demo: the installation did not finish (%.0f s)" % machine.seconds)
        return 1
    print("(the machine restarted after %.0f seconds)" % machine.seconds)
    show_disk(disk)
    return 0


if __name__ == "__main__":
    sys.exit(main())
