"""Installing a router from a CD-ROM and from a FAT hard disk: the installation system boots in a
real machine, is driven through its screens over the serial line, and the disks are read from
outside afterwards."""
import os
import random
import re
import subprocess

import pytest

import vm_runner
from conftest import BUILD_DIR

MIB = 1 << 20
HEADS, SECTORS = 16, 32
TARGET_BYTES = 32 * MIB  # 128 cylinders: one ext2 partition

# name, dependencies, files (path: content). "bigdata" is the one package of a few MiB; random
# bytes keep it that large inside the package.
PACKAGES = [
    ("system", [], {"etc/system.conf": b"hostname router\n"}),
    ("libz", [], {"lib/libz.txt": b"compression library\n"}),
    ("ppp", ["libz"], {"etc/ppp/options": b"lock\n", "usr/sbin/pppd.txt": b"ppp daemon\n"}),
    ("webui", ["ppp"], {"srv/www/index.html": b"<html>router</html>\n"}),
    ("bigdata", [], {"usr/share/big.bin": random.Random(12).randbytes(3 * MIB)}),
]
CONFIGURATION = b"set hostname router\n"
MBR = bytes(range(256)) * 2
# The last line before the CD-ROM flow mounts the CD and loads its package list.
LOAD_MARK = "Found harddrive as IDE Primary master (disk C)"


def mkvrp():
    return os.path.join(BUILD_DIR, "tools", "mkvrp", "mkvrp")


def make_packages(folder, scratch):
    """The package files of PACKAGES in `folder`; returns {name: path}."""
    os.makedirs(folder, exist_ok=True)
    made = {}
    for name, depends, files in PACKAGES:
        tree = os.path.join(scratch, "trees", name)
        for path, content in files.items():
            os.makedirs(os.path.dirname(os.path.join(tree, path)), exist_ok=True)
            with open(os.path.join(tree, path), "wb") as out:
                out.write(content)
        manifest = os.path.join(scratch, "trees", name + ".manifest")
        with open(manifest, "w") as out:
            out.write(f"name {name}\nversion 1.0\narchitecture i386\ndescription The {name} package\n")
            out.writelines(f"depends {dependency}\n" for dependency in depends)
            out.write(f"tree {tree}\n")
        made[name] = os.path.join(folder, name + ".vrp")
        subprocess.run([mkvrp(), "build", "--owner", "0:0", manifest, made[name]], check=True,
                       capture_output=True)
    return made


def make_iso(folder, image):
    subprocess.run(["xorriso", "-as", "mkisofs", "-R", "-quiet", "-o", image, folder], check=True,
                   capture_output=True)


def make_fat_disk(folder, image, size):
    """A whole disk holding one FAT file system, no partition table, with the files of `folder`."""
    subprocess.run(["mkfs.vfat", "-I", "-C", image, str(size // 1024)], check=True, capture_output=True)
    names = [os.path.join(folder, name) for name in sorted(os.listdir(folder))]
    if names:
        subprocess.run(["mcopy", "-i", image] + names + ["::/"], check=True, capture_output=True,
                       env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))


def write_file(folder, name, content):
    with open(os.path.join(folder, name), "wb") as out:
        out.write(content)


def blank_target(tmp_path, size=TARGET_BYTES):
    image = str(tmp_path / "target.img")
    vm_runner.sparse_image(image, size)
    return image


def overlay():
    return {"/etc/sfdisk.geometry": (0o644, f"{HEADS} {SECTORS}\n".encode())}


def boot_cdrom(target, cdrom, answers=(), timeout=300, media=None):
    return vm_runner.boot(media, overlay(), disk=target, cdrom=cdrom, answers=answers, timeout=timeout,
                          initramfs="initramfs-cdrom.cpio.gz")


def boot_hard_disk(media, target, source=None, answers=(), timeout=300):
    return vm_runner.boot(media, overlay(), disk=target, second_disk=source, answers=answers,
                          timeout=timeout, arguments="-hdd-install")


def root_file_system(image, tmp_path):
    entry = vm_runner.partition_entries(image)[0]
    path = str(tmp_path / "root.fs")
    vm_runner.extract_partition(image, entry[2], entry[3], path)
    return path


def dump(file_system, path, tmp_path):
    out = str(tmp_path / "dumped")
    if os.path.exists(out):
        os.unlink(out)
    subprocess.run(["debugfs", "-R", f"dump {path} {out}", file_system], capture_output=True)
    if not os.path.exists(out):
        return None
    with open(out, "rb") as dumped:
        return dumped.read()


def installed_names(output):
    """The packages in the order installer reported them installed."""
    return re.findall(r"installed (\S+)-\d", output)


def check_installed(image, tmp_path, names):
    """Each package of `names`, and no other, has its record and its files on the new disk."""
    root = root_file_system(image, tmp_path)
    listing = vm_runner.debugfs(root, "ls -p /var/pdb")
    records = {field.split("/")[5] for field in listing.split("\n") if field.count("/") >= 6} - {".", ".."}
    assert records == set(names), listing
    for name, _, files in PACKAGES:
        if name not in names:
            continue
        recorded = dump(root, f"/var/pdb/{name}/files", tmp_path).decode().split()
        assert sorted(recorded) == sorted(files), name
        for path, content in files.items():
            assert dump(root, "/" + path, tmp_path) == content, path
    for path in ("/etc/lilo.conf", "/etc/fstab"):
        assert vm_runner.inode_status(root, path) is not None, path
    return root


def menu_line(name, depends):
    return f"{name} (depends on {', '.join(depends) or 'nothing'}):"


def test_cdrom_installation_through_the_menu(media, tmp_path):
    cd = str(tmp_path / "cd")
    make_packages(cd, str(tmp_path))
    iso = str(tmp_path / "cd.iso")
    make_iso(cd, iso)
    target = blank_target(tmp_path)
    # The menu shows "system", "ppp", then the others by name: bigdata, libz, webui, in two rows.
    # Each step waits for what the key before it must have drawn; a wrong screen stalls the run.
    up, down, right, space = "\x1b[A", "\x1b[B", "\x1b[C", " "
    answers = [
        (menu_line("system", []), "n"),
        (menu_line("ppp", ["libz"]), "N" + down + down),
        (menu_line("webui", ["ppp"]), space),
        # ppp comes with webui, but not ppp's own dependency libz
        ("[X] ppp ", ""), ("[ ] libz ", ""), ("[X] webui ", "p" * 2 + "P"),
        (menu_line("ppp", ["libz"]), space),
        # deselecting ppp deselects webui, which needs it
        ("[ ] ppp ", ""), ("[ ] webui ", "a"),
        ("[X] webui ", "m"),
        ("[X] system ", ""), ("[ ] ppp ", ""), ("[ ] bigdata ", ""), ("[ ] libz ", ""), ("[ ] webui ", up),
        (menu_line("system", []), right + right),
        (menu_line("webui", ["ppp"]), space + "r"),
        # a machine without a network card finds no router; "q" goes back to the menu
        ("Looking for routers on 0 interfaces", "q"),
        # the menu again, from the Minimum selection
        ("cancel and reboot.", right + right),
        (menu_line("webui", ["ppp"]), space + "I"),
        ("Do you want to keep old configuration? ", "n"),
        ("Continue?", "y"),
        ("Press ENTER to reboot", "\r"),
    ]
    run = boot_cdrom(target, iso, answers, media=media)
    assert "Rebooting..." in run.output, run.output[-4000:]
    assert "Software installed." in run.output, run.output[-4000:]
    assert "FATAL ERROR" not in run.output
    # Every selected package once, each after what it needs, libz too though it was never selected.
    assert installed_names(run.output) == ["libz", "ppp", "system", "webui"], run.output[-4000:]
    root = check_installed(target, tmp_path, ["libz", "ppp", "system", "webui"])
    status = vm_runner.inode_status(root, "/CDINSTALL")
    assert status is not None and status["type"] == "regular" and status["mode"] == 0o600
    assert dump(root, "/CDINSTALL", tmp_path) == b""


def make_filler_packages(folder, scratch, count):
    """`count` small packages "pkg00", "pkg01", ... with a file each; returns their names."""
    names = []
    for index in range(count):
        name = "pkg%02d" % index
        tree = os.path.join(scratch, "fillers", name)
        os.makedirs(tree)
        write_file(tree, name + ".txt", name.encode())
        manifest = tree + ".manifest"
        with open(manifest, "w") as out:
            out.write(f"name {name}\nversion 1.0\ndescription Filler number {index}\ntree {tree}\n")
        subprocess.run([mkvrp(), "build", "--owner", "0:0", manifest, os.path.join(folder, name + ".vrp")],
                       check=True, capture_output=True)
        names.append(name)
    return names


BUNDLE_FILES = {"vpn-core": {"usr/sbin/vpnd.txt": b"vpn daemon\n"}, "vpn-tools": {"usr/bin/vpnctl.txt": b"vpn tool\n"}}


def make_bundle(path, scratch):
    """The bundle "vpn" (needs system) of BUNDLE_FILES' members, as tools of other systems name it."""
    manifest = os.path.join(scratch, "vpn.manifest")
    with open(manifest, "w") as out:
        out.write("bundle vpn 1.0\ndepends system\n")
        for member, files in BUNDLE_FILES.items():
            tree = os.path.join(scratch, "bundle", member)
            for name, content in files.items():
                os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
                write_file(tree, name, content)
            out.write(f"\npackage\nname {member}\nversion 1.0\ntree {tree}\n")
    subprocess.run([mkvrp(), "build", "--owner", "0:0", manifest, path], check=True, capture_output=True)


def test_cdrom_with_sixty_packages_and_a_bundle(media, tmp_path):
    cd = str(tmp_path / "cd")
    make_packages(cd, str(tmp_path))
    make_filler_packages(cd, str(tmp_path), 54)
    make_bundle(os.path.join(cd, "VPN.VRP"), str(tmp_path))
    iso = str(tmp_path / "cd.iso")
    make_iso(cd, iso)
    target = blank_target(tmp_path)
    # Display order: system ppp bigdata libz pkg00..pkg53 vpn webui, pages of 39 (13 rows of 3).
    right, page_down = "\x1b[C", "\x1b[6~"
    answers = [
        ("Page 1 of 2 (1-39 of 60 packages)", ""),
        (menu_line("system", []), page_down),
        ("Page 2 of 2 (40-60 of 60 packages)", ""),
        (menu_line("pkg35", []), right + "n" * 6),
        (menu_line("vpn", ["system"]), ""), ("vpn-core, vpn-tools ", " n"),
        (menu_line("webui", ["ppp"]), " <"),
        # back on the first page, where ppp came along with webui
        ("[X] ppp ", ""), ("Page 1 of 2", ""), (menu_line("pkg16", []), "i"),
        ("Do you want to keep old configuration? ", "n"),
        ("Continue?", "y"),
        ("Press ENTER to reboot", "\r"),
    ]
    run = boot_cdrom(target, iso, answers, media=media)
    assert "Software installed." in run.output, run.output[-4000:]
    assert "FATAL ERROR" not in run.output
    # The second page shows its own items only, the first page's are gone.
    page_two = run.output[run.output.index(menu_line("system", [])):run.output.index("Page 2 of 2")]
    assert "[ ] pkg53 " in page_two and "[ ] pkg00 " not in page_two
    order = installed_names(run.output)
    # installer reports a bundle by its own name; its members are looked for on the disk below.
    assert sorted(order) == ["libz", "ppp", "system", "vpn", "webui"], order
    assert order.index("libz") < order.index("ppp") < order.index("webui")
    assert order.index("system") < order.index("vpn")
    root = check_installed(target, tmp_path, ["libz", "ppp", "system", "webui", "vpn", "vpn-core", "vpn-tools"])
    for files in BUNDLE_FILES.values():
        for path, content in files.items():
            assert dump(root, "/" + path, tmp_path) == content, path
    # The list of 60 headers is read between the CD's mount and the first screen of the menu.
    loaded = run.seconds_at("Welcome to Kestrova Router Software installation") - run.seconds_at(LOAD_MARK)
    print(f"menu of 60 packages on the screen {loaded:.2f} s after the line before the mount")
    assert loaded < 1.0


def test_cancel_leaves_the_disk_untouched(media, tmp_path):
    cd = str(tmp_path / "cd")
    make_packages(cd, str(tmp_path))
    iso = str(tmp_path / "cd.iso")
    make_iso(cd, iso)
    target = blank_target(tmp_path)
    with open(target, "r+b") as disk:
        disk.write(MBR)
    run = boot_cdrom(target, iso, [("cancel and reboot.", "q"), ("Press ENTER to reboot", "\r")], media=media)
    assert "Installation canceled" in run.output, run.output[-3000:]
    assert "Rebooting..." in run.output
    assert not installed_names(run.output)
    assert vm_runner.first_sector(target) == MBR[:512]


def fat_source(tmp_path, choose, mbr=True, configuration=True, size=16 * MIB, name="source.img"):
    folder = str(tmp_path / "source")
    make_packages(folder, str(tmp_path))
    if choose:
        write_file(folder, "CHOOSE", b"")
    if mbr:
        write_file(folder, "mbr", MBR)
    if configuration:
        write_file(folder, "autorun.scr", CONFIGURATION)
    image = str(tmp_path / name)
    make_fat_disk(folder, image, size)
    return image


def test_hard_disk_installation_of_every_package(media, tmp_path):
    source = fat_source(tmp_path, choose=False)
    target = blank_target(tmp_path)
    run = boot_hard_disk(media, target, source)
    assert "Software installed." in run.output, run.output[-4000:]
    assert "FATAL ERROR" not in run.output
    assert "Press ENTER to reboot" not in run.output
    assert "Welcome to Kestrova Router Software hard disk installation" in run.output
    order = installed_names(run.output)
    assert sorted(order) == sorted(name for name, _, _ in PACKAGES)
    assert order.index("libz") < order.index("ppp") < order.index("webui")
    for name, _, _ in PACKAGES:
        assert f"Reading: {name}..." in run.output
    root = check_installed(target, tmp_path, [name for name, _, _ in PACKAGES])
    assert dump(root, "/autorun.scr", tmp_path) == CONFIGURATION
    # The source keeps its files but starts with the boot record of the medium now.
    assert vm_runner.first_sector(source) == MBR[:512]


def test_hard_disk_installation_with_a_choice(media, tmp_path):
    source = fat_source(tmp_path, choose=True, mbr=False)
    with open(source, "rb") as disk:
        boot_sector = disk.read(512)
    target = blank_target(tmp_path)
    answers = [("cancel and reboot.", "nnnn"), (menu_line("webui", ["ppp"]), " i")]
    run = boot_hard_disk(media, target, source, answers)
    assert "Software installed." in run.output, run.output[-4000:]
    assert "keep old configuration" not in run.output
    assert installed_names(run.output) == ["libz", "ppp", "system", "webui"]
    root = check_installed(target, tmp_path, ["libz", "ppp", "system", "webui"])
    assert dump(root, "/autorun.scr", tmp_path) == CONFIGURATION
    assert vm_runner.first_sector(source) == boot_sector


def test_hard_disk_installation_onto_its_own_source(media, tmp_path):
    # The only disk is both: everything is read before the disk is erased.
    source = fat_source(tmp_path, choose=False, size=TARGET_BYTES)
    run = boot_hard_disk(media, source)
    assert "Software installed." in run.output, run.output[-4000:]
    root = check_installed(source, tmp_path, [name for name, _, _ in PACKAGES])
    assert dump(root, "/autorun.scr", tmp_path) == CONFIGURATION


FATAL = [
    # name, flow, what the source lacks or holds, message
    ("no_cdrom", "cdrom", "none", "\nFATAL ERROR: no CD-ROM found"),
    ("no_packages_on_the_cd", "cdrom", "empty", "FATAL ERROR: No packages found"),
    ("truncated_package", "cdrom", "truncated", "FATAL ERROR: Bad package /floppy/ppp.vrp"),
    ("no_configuration_script", "disk", "no autorun.scr", "\nFATAL ERROR: could not read configuration"),
    ("no_boot_record_file", "disk", "no mbr", "\nFATAL ERROR: Couldn't open mbr file"),
]


@pytest.mark.parametrize("name,flow,source,message", FATAL, ids=[case[0] for case in FATAL])
def test_fatal_errors_leave_the_target_untouched(media, tmp_path, name, flow, source, message):
    target = blank_target(tmp_path)
    with open(target, "r+b") as disk:
        disk.write(MBR)
    if flow == "cdrom":
        iso = None
        if source != "none":
            cd = str(tmp_path / "cd")
            os.makedirs(cd)
            if source == "empty":
                write_file(cd, "README.txt", b"no packages here\n")
            else:
                made = make_packages(cd, str(tmp_path))
                os.truncate(made["ppp"], 40)
            iso = str(tmp_path / "cd.iso")
            make_iso(cd, iso)
        run = boot_cdrom(target, iso, [("Press ENTER to reboot", "\r")], timeout=180, media=media)
    else:
        disk = fat_source(tmp_path, choose=False, mbr=source != "no mbr",
                          configuration=source != "no autorun.scr")
        run = boot_hard_disk(media, target, disk, [("Press ENTER to reboot", "\r")], timeout=180)
    assert message in run.output, run.output[-3000:]
    assert "Rebooting..." in run.output
    assert not installed_names(run.output)
    assert vm_runner.first_sector(target) == MBR[:512]
