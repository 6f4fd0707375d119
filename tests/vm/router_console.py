"""The demo router in a virtual machine: its packages, its installation from a CD-ROM or a FAT hard
disk, and sessions on its serial console (log in, type commands, restart)."""
import base64
import os
import subprocess

import vm_runner

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
# What the installation puts on the router: a base system, its kernel, its boot loader and two of
# the demo's applications (one firewall version only: the menu resolves a dependency to the first
# package of its name).
INSTALLED = ["system", "kernel", "bootloader", "firewall-2.0", "snmpd"]
UPGRADE = "firewall-2.1"
PROMPT = "router:~# "
LOGIN = [("router login: ", "root\n"), ("Password: ", "router\n")]
# Wider than any command typed, so that the shell's line editing never wraps the echo of one.
WIDTH = "stty cols 250"


def build_packages(build, media, out):
    """Runs demo/router/build.sh; returns {package folder name: .vrp path}."""
    result = subprocess.run(["bash", os.path.join(SOURCE_DIR, "demo", "router", "build.sh"), build, media, out],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("demo/router/build.sh failed:\n" + result.stdout[-3000:] + result.stderr[-3000:])
    folder = os.path.join(out, "packages")
    return {name[:-4]: os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(".vrp")}


def make_cd(packages, folder, iso, extra=()):
    """An ISO 9660 image of the installed packages and the `extra` ones (a bundle is one entry of the
    menu, like a package)."""
    os.makedirs(folder, exist_ok=True)
    for name in INSTALLED + list(extra):
        os.link(packages[name], os.path.join(folder, name + ".vrp"))
    subprocess.run(["xorriso", "-as", "mkisofs", "-R", "-quiet", "-V", "ROUTER", "-o", iso, folder], check=True,
                   capture_output=True)


def install_from_cd(media, disk, iso, echo=None):
    """The CD-ROM installation system, driven through its menu: select all, install, keep no old
    configuration, erase the disk, restart at the end."""
    answers = [("cancel and reboot.", "a"), ("[X] snmpd ", "i"), ("Do you want to keep old configuration? ", "n"),
               ("Continue?", "y"), ("Press ENTER to reboot", "\r")]
    return vm_runner.boot(media, {}, disk=disk, cdrom=iso, answers=answers, timeout=600,
                          initramfs="initramfs-cdrom.cpio.gz", echo=echo)


def make_fat_source(packages, folder, image, size=32 << 20):
    """A hard disk holding one FAT file system with the packages, a configuration script and the
    medium's boot record: the hard disk installation takes everything from it."""
    os.makedirs(folder, exist_ok=True)
    for name in INSTALLED:
        os.link(packages[name], os.path.join(folder, name + ".vrp"))
    with open(os.path.join(folder, "autorun.scr"), "w") as script:
        script.write("hostname router\n")
    with open(os.path.join(folder, "mbr"), "wb") as record:
        record.write(bytes(510) + b"\x55\xaa")
    subprocess.run(["mkfs.vfat", "-I", "-C", image, str(size // 1024)], check=True, capture_output=True)
    names = [os.path.join(folder, name) for name in sorted(os.listdir(folder))]
    subprocess.run(["mcopy", "-i", image] + names + ["::/"], check=True, capture_output=True,
                   env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))


def install_from_hard_disk(media, disk, source, echo=None):
    return vm_runner.boot(media, {}, disk=disk, second_disk=source, timeout=600, arguments="-hdd-install",
                          echo=echo)


def copy_commands(path, target):
    """Shell commands that write the file at `path` to `target` on the router, typed in base64."""
    with open(path, "rb") as source:
        text = base64.b64encode(source.read()).decode()
    commands = [f"rm -f /tmp/upload; printf %s '{text[:160]}' > /tmp/upload"]
    commands += [f"printf %s '{text[start:start + 160]}' >> /tmp/upload" for start in range(160, len(text), 160)]
    commands.append(f"base64 -d /tmp/upload > {target} && rm /tmp/upload")
    return commands


def session(disk, commands, echo=None, timeout=300):
    """Starts the router from `disk` alone, logs in on the serial console, types the commands one
    after another, each once the prompt is back, and restarts it with `reboot`, where the machine
    ends. Returns the run and the output of each command (without the echo of the command)."""
    typed = [WIDTH] + list(commands) + ["reboot"]
    answers = LOGIN + [(PROMPT, command + "\n") for command in typed]
    run = vm_runner.boot_disk(disk, answers, timeout, echo)
    return run, command_outputs(run.output, typed)[1:-1]


def command_outputs(output, typed):
    """The text each typed command printed: from the end of its echoed line to the next prompt."""
    parts = output.replace("\x1b[6n", "").split(PROMPT)[1:]
    results = []
    for command, part in zip(typed, parts):
        echoed, _, printed = part.partition("\n")
        assert echoed.strip() == command, (echoed, command)
        results.append(printed)
    return results


def table(text):
    """The rows of an installer-query table as lists of fields, header first."""
    return [line.split() for line in text.splitlines() if line.strip()]
