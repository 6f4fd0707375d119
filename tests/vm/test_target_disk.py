"""The target disk steps in a real machine: our installation system boots with a blank or
prepared disk image, the driver runs find, prepare and finish as the flows will, and the image
is examined from outside afterwards."""
import os
import struct
import subprocess

import pytest

import vm_runner

MIB = 1 << 20


def disk_geometry(heads, sectors):
    return f"{heads} {sectors}\n".encode()


def run_driver(media, driver, image, heads, sectors, keep_config=False, answers=()):
    files = {
        "/sbin/init": (0o755, driver),
        "/etc/sfdisk.geometry": (0o644, disk_geometry(heads, sectors)),
        "/etc/disk_test.conf": (0o644, f"keep_config {int(keep_config)}\n".encode()),
    }
    run = vm_runner.boot(media, files, disk=image, answers=answers)
    assert "TEST: done" in run.output, run.output[-4000:]
    return run


def expected_entries(heads, sectors, cylinders, boot_cylinders):
    """Partition 1 starts one track in; the boot partition ends on a cylinder boundary."""
    track, cylinder = sectors, heads * sectors
    if boot_cylinders is None:
        return [(0x80, 0x83, track, cylinders * cylinder - track)] + [(0, 0, 0, 0)] * 3
    return [(0x80, 0x83, track, boot_cylinders * cylinder - track),
            (0x80, 0x83, boot_cylinders * cylinder, (cylinders - boot_cylinders) * cylinder)] + [(0, 0, 0, 0)] * 2


def extract(image, entry, scratch, name):
    path = os.path.join(scratch, name)
    vm_runner.extract_partition(image, entry[2], entry[3], path)
    return path


def boot_program(media):
    with open(os.path.join(media, "i386", "setup", "disk", "boot_program.bin"), "rb") as program:
        return program.read()


LAYOUTS = [
    # name, heads, sectors, cylinders, boot partition cylinders (None: one partition), journal
    ("exactly_40_mib_is_ext2", 16, 32, 160, None, False),
    ("one_cylinder_over_40_mib_is_ext3", 16, 32, 161, None, True),
    ("1023_cylinders_one_partition", 1, 63, 1023, None, False),
    ("1024_cylinders_boot_partition_ext2_root", 1, 63, 1024, 326, False),
    ("1024_cylinders_boot_partition_ext3_root", 2, 63, 1024, 163, True),
]


@pytest.mark.parametrize("name,heads,sectors,cylinders,boot_cylinders,journal", LAYOUTS, ids=[l[0] for l in LAYOUTS])
def test_layout_on_blank_disk(media, test_driver, tmp_path, name, heads, sectors, cylinders, boot_cylinders, journal):
    image = str(tmp_path / "disk.img")
    vm_runner.sparse_image(image, cylinders * heads * sectors * 512)
    # Keeping the configuration of a disk that holds nothing goes on without a word.
    run = run_driver(media, test_driver, image, heads, sectors, keep_config=True)
    values = run.values()
    assert values["found"] == "1"
    assert values["prepared"] == "1", run.output[-3000:]
    assert values["cylinders"] == str(cylinders)
    assert values["two_partitions"] == str(int(boot_cylinders is not None))
    assert values["journal"] == str(int(journal))
    assert values["pdb_entries"] == "0"
    assert "Found harddrive as IDE Primary master (disk C)" in run.output
    assert "ERROR" not in run.output

    sector = vm_runner.first_sector(image)
    assert sector[:184] == boot_program(media)
    assert sector[184:446] == bytes(262)
    assert sector[510:] == b"\x55\xaa"
    entries = vm_runner.partition_entries(image)
    assert entries == expected_entries(heads, sectors, cylinders, boot_cylinders)

    two = boot_cylinders is not None
    root = extract(image, entries[1] if two else entries[0], str(tmp_path), "root.fs")
    root_type = "ext3" if journal else "ext2"
    assert ("has_journal" in vm_runner.file_system_features(root)) == journal
    if two:
        boot = extract(image, entries[0], str(tmp_path), "boot.fs")
        assert "has_journal" not in vm_runner.file_system_features(boot)
        assert vm_runner.debugfs(boot, "ls -p /").count("/") > 0

    root_number = 2 if two else 1
    assert vm_runner.debugfs(root, "cat /etc/lilo.conf") == (
        "boot=/dev/hda1\nmap=/boot/map\ninstall=/boot/boot.b\nlba32\nimage=/boot/vmlinuz\n"
        f"  label=System\n  root=/dev/hda{root_number}\n  read-only\n")
    fstab = (f"/dev/hda2  /     {root_type} defaults 1 1\n/dev/hda1  /boot ext2 defaults 1 2\n" if two
             else f"/dev/hda1  /     {root_type} defaults 1 1\n")
    fstab += "none /proc proc defaults 0 0\nnone /dev/pts devpts gid=5,mode=620 0 0\n"
    assert vm_runner.debugfs(root, "cat /etc/fstab") == fstab
    for path in ("/etc/lilo.conf", "/etc/fstab"):
        assert vm_runner.inode_status(root, path)["mode"] == 0o644
    assert (vm_runner.inode_status(root, "/.nofsck") is not None) == journal
    for directory in ("/proc", "/vorn", "/vorn/etc", "/var", "/var/pdb", "/etc"):
        status = vm_runner.inode_status(root, directory)
        assert status is not None and status["type"] == "directory" and status["mode"] == 0o755, directory
    assert "Checking disk integrity..." in run.output if not two else "Checking disk integrity..." not in run.output
    # The post-installation script starts inside the new system, not just below its root.
    assert vm_runner.debugfs(root, "cat /postinstall.cwd") == "/\n"


def write_partition_table(image, entries):
    with open(image, "r+b") as disk:
        for index, (status, kind, first, count) in enumerate(entries):
            raw = bytes([status, 0, 0, 0, kind, 0, 0, 0]) + struct.pack("<II", first, count)
            disk.seek(446 + 16 * index)
            disk.write(raw)
        disk.seek(510)
        disk.write(b"\x55\xaa")


KEPT = [
    # path below the old root, type, mode, owner, group, access, modification, content
    ("vorn/store", "d", 0o750, 0, 0, 1500000000, 1500000100, None),
    ("vorn/store/network.conf", "f", 0o640, 100, 200, 1400000000, 1400000300, b"address 192.0.2.1\n"),
    ("vorn/store/empty", "f", 0o444, 5, 6, 1300000000, 1300000400, b""),
    ("vorn/store/sub", "d", 0o700, 7, 8, 1200000000, 1200000500, None),
    ("vorn/store/sub/large.bin", "f", 0o600, 9, 10, 1100000000, 1100000600, bytes(range(256)) * 200),
]


def build_old_file_system(scratch, name, kind, size_kib, store):
    """An old file system; with `store` "kept" it holds the configuration tree of KEPT, with
    "decoy" one that must not be taken, and always something that must not survive."""
    tree = os.path.join(scratch, name)
    os.makedirs(os.path.join(tree, "etc"))
    with open(os.path.join(tree, "etc", "old-only"), "w") as junk:
        junk.write("from the old system\n")
    if store == "decoy":
        os.makedirs(os.path.join(tree, "vorn/store"))
        with open(os.path.join(tree, "vorn/store/decoy"), "w") as decoy:
            decoy.write("from the wrong partition\n")
    elif store == "file":
        os.makedirs(os.path.join(tree, "vorn"))
        with open(os.path.join(tree, "vorn/store"), "wb") as kept:
            kept.write(STORE_FILE)
        os.chmod(os.path.join(tree, "vorn/store"), 0o600)
        os.utime(os.path.join(tree, "vorn/store"), (1600000000, 1600000100))
    elif store == "kept":
        for path, kind_of, mode, owner, group, atime, mtime, content in KEPT:
            full = os.path.join(tree, path)
            if kind_of == "d":
                os.makedirs(full, exist_ok=True)
            else:
                with open(full, "wb") as out:
                    out.write(content)
        os.symlink("network.conf", os.path.join(tree, "vorn/store/link"))
        for path, kind_of, mode, owner, group, atime, mtime, content in reversed(KEPT):
            full = os.path.join(tree, path)
            os.chown(full, owner, group)
            os.chmod(full, mode)
            os.utime(full, (atime, mtime))
    file_system = os.path.join(scratch, name + ".fs")
    subprocess.run(["mke2fs", "-q", "-F", "-t", kind, "-d", tree, file_system, str(size_kib)], check=True)
    return file_system


OLD_DISKS = [
    # name, old partitions: (first sector, sectors, type, file system or None, store)
    ("four_entries_one_file_system",
     [(2048, 40000, 0x83, "ext3", "kept"), (42048, 2048, 0x83, None, None),
      (44096, 2048, 0x82, None, None), (46144, 2048, 0x83, None, None)]),
    # Partition 1 as ext3 is tried before partition 2 as ext2: the disk counts as one partition.
    ("journalled_first_partition_wins",
     [(2048, 20000, 0x83, "ext3", "kept"), (22528, 20000, 0x83, "ext2", "decoy")]),
    ("old_boot_partition_layout",
     [(2048, 12000, 0x83, "ext2", "decoy"), (14336, 30000, 0x83, "ext3", "kept")]),
]


@pytest.mark.skipif(os.geteuid() != 0, reason="the old tree needs owners of its own")
@pytest.mark.parametrize("name,old_partitions", OLD_DISKS, ids=[d[0] for d in OLD_DISKS])
def test_kept_configuration_survives_the_reformat(media, test_driver, tmp_path, name, old_partitions):
    heads, sectors, cylinders = 16, 32, 200
    image = str(tmp_path / "disk.img")
    vm_runner.sparse_image(image, cylinders * heads * sectors * 512)
    # The new one-partition layout must leave only the first entry of the old table.
    write_partition_table(image, [(0x80 if index == 0 else 0, kind, first, count)
                                  for index, (first, count, kind, _, _) in enumerate(old_partitions)])
    for index, (first, count, _, file_system, store) in enumerate(old_partitions):
        if file_system:
            old = build_old_file_system(str(tmp_path), f"old{index}", file_system, count // 2, store)
            with open(old, "rb") as source, open(image, "r+b") as disk:
                disk.seek(first * 512)
                disk.write(source.read())

    run = run_driver(media, test_driver, image, heads, sectors, keep_config=True)
    values = run.values()
    assert values["prepared"] == "1", run.output[-3000:]
    assert "Reading old configuration..." in run.output
    assert "Writing back old configuration..." in run.output
    assert "ERROR" not in run.output

    entries = vm_runner.partition_entries(image)
    assert entries == expected_entries(heads, sectors, cylinders, None)
    root = extract(image, entries[0], str(tmp_path), "root.fs")
    for gone in ("/etc/old-only", "/vorn/store/link", "/vorn/store/decoy"):
        assert vm_runner.inode_status(root, gone) is None, gone
    for path, kind, mode, owner, group, atime, mtime, content in KEPT:
        status = vm_runner.inode_status(root, "/" + path)
        assert status is not None, path
        assert status["type"] == ("directory" if kind == "d" else "regular"), path
        assert (status["mode"], status["owner"], status["group"]) == (mode, owner, group), path
        assert (status["atime"], status["mtime"]) == (atime, mtime), path
        if content is not None:
            assert _dump(root, path, tmp_path) == content, path


STORE_FILE = b"a configuration kept as one file\n"


def test_kept_configuration_that_is_a_plain_file(media, test_driver, tmp_path):
    # An old ext2 root whose configuration is one file: it comes back as that file, beside the
    # directories the preparation creates under /vorn.
    heads, sectors, cylinders = 16, 32, 161
    image = str(tmp_path / "disk.img")
    vm_runner.sparse_image(image, cylinders * heads * sectors * 512)
    write_partition_table(image, [(0x80, 0x83, 2048, 40000)])
    old = build_old_file_system(str(tmp_path), "old", "ext2", 20000, "file")
    with open(old, "rb") as source, open(image, "r+b") as disk:
        disk.seek(2048 * 512)
        disk.write(source.read())

    run = run_driver(media, test_driver, image, heads, sectors, keep_config=True)
    assert run.values()["prepared"] == "1", run.output[-3000:]
    assert "Writing back old configuration..." in run.output
    assert "ERROR" not in run.output
    root = extract(image, vm_runner.partition_entries(image)[0], str(tmp_path), "root.fs")
    status = vm_runner.inode_status(root, "/vorn/store")
    assert status is not None and status["type"] == "regular", status
    assert (status["mode"], status["mtime"]) == (0o600, 1600000100)
    assert _dump(root, "vorn/store", tmp_path) == STORE_FILE
    assert vm_runner.inode_status(root, "/etc/old-only") is None


def _dump(file_system, path, scratch):
    out = os.path.join(str(scratch), "dumped")
    subprocess.run(["debugfs", "-R", f"dump /{path} {out}", file_system], capture_output=True)
    with open(out, "rb") as dumped:
        return dumped.read()


@pytest.mark.parametrize("answer", ["n", "y"])
def test_configuration_that_cannot_be_kept_is_the_users_decision(media, test_driver, tmp_path, answer):
    heads, sectors, cylinders = 16, 32, 161
    image = str(tmp_path / "disk.img")
    vm_runner.sparse_image(image, cylinders * heads * sectors * 512)
    write_partition_table(image, [(0x80, 0x83, 2048, 40000)])
    old = build_old_file_system(str(tmp_path), "old", "ext2", 20000, "decoy")
    # A block beyond the end of the file system: the kept file can't be read.
    subprocess.run(["debugfs", "-w", "-R", "sif /vorn/store/decoy block[0] 99999999", old],
                   check=True, capture_output=True)
    with open(old, "rb") as source, open(image, "r+b") as disk:
        disk.seek(2048 * 512)
        disk.write(source.read())
    before = vm_runner.first_sector(image)

    run = run_driver(media, test_driver, image, heads, sectors, keep_config=True,
                     answers=[("Continue without it? [y/n]:", answer + "\n")])
    assert "ERROR: couldn't keep config" in run.output
    assert run.values()["prepared"] == str(int(answer == "y")), run.output[-3000:]
    entry = vm_runner.partition_entries(image)[0]
    root = extract(image, entry, str(tmp_path), "root.fs")
    if answer == "n":
        assert "Creating partition..." not in run.output
        assert vm_runner.first_sector(image) == before
        assert vm_runner.debugfs(root, "cat /etc/old-only") == "from the old system\n"
    else:
        assert vm_runner.inode_status(root, "/etc/old-only") is None
        assert vm_runner.inode_status(root, "/vorn/store") is None


def test_no_disk_is_fatal(media, test_driver):
    run = vm_runner.boot(media, {"/sbin/init": (0o755, test_driver)})
    assert "TEST: done" in run.output, run.output[-3000:]
    assert "\nFATAL ERROR: no harddrives found" in run.output
    assert run.values()["found"] == "0"


def test_disk_too_small_for_its_layout_is_left_alone(media, test_driver, tmp_path):
    # 1,100 cylinders of 8 KiB: two partitions, but the 10 MiB boot partition alone would need
    # 1,280 cylinders.
    heads, sectors, cylinders = 1, 16, 1100
    image = str(tmp_path / "disk.img")
    vm_runner.sparse_image(image, cylinders * heads * sectors * 512)
    run = run_driver(media, test_driver, image, heads, sectors)
    values = run.values()
    assert values["two_partitions"] == "1"
    assert values["prepared"] == "0"
    assert "ERROR: could not create partitions" in run.output
    assert vm_runner.first_sector(image) == bytes(512)


def test_reinstall_over_an_installation_keeps_its_configuration(media, test_driver, tmp_path):
    # The same layout again: the new file system lands exactly where the old one is, which today's
    # mke2fs would stop to ask about.
    heads, sectors, cylinders = 16, 32, 161
    image = str(tmp_path / "disk.img")
    vm_runner.sparse_image(image, cylinders * heads * sectors * 512)
    assert run_driver(media, test_driver, image, heads, sectors).values()["prepared"] == "1"

    entry = vm_runner.partition_entries(image)[0]
    root = extract(image, entry, str(tmp_path), "first.fs")
    setting = tmp_path / "setting"
    setting.write_text("kept across installations\n")
    for request in ("mkdir /vorn/store", f"write {setting} /vorn/store/setting"):
        subprocess.run(["debugfs", "-w", "-R", request, root], check=True, capture_output=True)
    with open(root, "rb") as source, open(image, "r+b") as disk:
        disk.seek(entry[2] * 512)
        disk.write(source.read())

    run = run_driver(media, test_driver, image, heads, sectors, keep_config=True)
    assert run.values()["prepared"] == "1", run.output[-3000:]
    assert "ERROR" not in run.output
    second = extract(image, vm_runner.partition_entries(image)[0], str(tmp_path), "second.fs")
    assert _dump(second, "vorn/store/setting", tmp_path) == b"kept across installations\n"
    assert "has_journal" in vm_runner.file_system_features(second)
