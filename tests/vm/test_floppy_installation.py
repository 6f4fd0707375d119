"""A floppy installation in a real machine: setup boots without /TYPE, asks for the floppies of a
three-part set one after another, and the test changes the disk in the emulated drive when asked.
One boot walks through an empty drive, a floppy without the part file, a mended block, a floppy of
another set, a part with two bad blocks in one group and a damaged parity block, and the target
disk is examined from outside afterwards."""
import os
import random
import subprocess
import sys

import floppy_machine
import vm_runner

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import vrp  # noqa: E402

HEADS, SECTORS, CYLINDERS = 16, 32, 160
# Six groups of 15 data blocks of 508 bytes a part: three parts for the bundle below.
CAPACITY = 32 + 6 * 16 * 512


def floppyset(*args):
    tool = os.path.join(vrp.build_dir(), "tools", "floppyset", "floppyset")
    result = subprocess.run([tool, *map(str, args)], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return result.stdout.split()


def make_set(directory, bundle, set_id):
    os.makedirs(directory)
    return floppyset("build", "--capacity", CAPACITY, "--set-id", set_id, directory, bundle)


def image_of(part):
    image = part + ".img"
    floppyset("image", image, part)
    return image


def test_floppy_set_with_bad_and_wrong_floppies_installs_every_package(media, tmp_path):
    generator = random.Random(14)
    contents = {name: generator.randbytes(38000) for name in ("core", "net", "web")}
    bundle = vrp.make_bundle(tmp_path, "base", "3.0", [
        vrp.member(name, "3.0", files={f"/usr/lib/{name}.bin": data}) for name, data in contents.items()])
    parts = make_set(str(tmp_path / "set"), bundle, 0x1400)
    assert len(parts) == 3
    other = make_set(str(tmp_path / "other"), bundle, 0x1401)

    floppyset("damage", parts[0], 1, 3)
    mended = image_of(parts[0])
    os.makedirs(tmp_path / "ruined")
    ruined_part = str(tmp_path / "ruined" / "kestrova.n01")
    subprocess.run(["cp", parts[1], ruined_part], check=True)
    floppyset("damage", ruined_part, 2, 0)
    floppyset("damage", ruined_part, 2, 4)
    ruined = image_of(ruined_part)
    good_second = image_of(parts[1])
    floppyset("damage", parts[2], 0, 15)
    third_with_bad_parity = image_of(parts[2])
    stranger = image_of(other[1])
    blank = str(tmp_path / "blank.img")
    floppyset("image", blank)

    disk = str(tmp_path / "disk.img")
    vm_runner.sparse_image(disk, CYLINDERS * HEADS * SECTORS * 512)
    run = floppy_machine.boot(
        media, {"/etc/sfdisk.geometry": (0o644, f"{HEADS} {SECTORS}\n".encode())}, disk,
        floppies=[("2nd", None, "ERROR: No floppy, or bad floppy"),
                  ("2nd", blank, "Wrong floppy!"),
                  ("2nd", mended, "Installing part 1 of 3..."),
                  ("3rd", stranger, "ERROR: bad floppy, please replace it."),
                  ("3rd", ruined, "ERROR: bad floppy, please replace it."),
                  ("3rd", good_second, "Installing part 2 of 3..."),
                  ("4th", third_with_bad_parity, "Installing part 3 of 3...")],
        answers=[("Do you want to keep old configuration? ", "n"), ("Continue?", "y"),
                 ("Press ENTER to reboot", "\r")])
    output = run.output
    assert "Welcome to Kestrova Router Software floppy installation" in output, output[-4000:]
    assert "\nSoftware installed.\nRemove boot floppy\n" in output, output[-4000:]
    assert "Rebooting..." in output and run.finished
    # The mended block of the first part is the only repair: a bad parity block needs none.
    assert run.log.count("Recovering bad block #") == 1 and "Recovering bad block #3\n" in run.log, run.log[-2000:]
    # The other set's floppy was refused and did not spoil the set: the right one was taken after it.
    stranger_at = output.index("ERROR: bad floppy, please replace it.")
    assert "Installing part 2 of 3..." in output[stranger_at:]
    assert "FATAL" not in output
    assert output.count("ERROR: bad floppy, please replace it.") == 2 and output.count("Wrong floppy!") == 1
    # The emulated drive fails the first reads after a media change (two mounts after each change
    # here): the prompt that follows is the flow's own retry.
    retried = [offer for offer in run.offers if offer[2]]
    assert output.count("ERROR: No floppy, or bad floppy") == 1 + len(retried)

    entry = vm_runner.partition_entries(disk)[0]
    root = str(tmp_path / "root.fs")
    vm_runner.extract_partition(disk, entry[2], entry[3], root)
    listing = vm_runner.debugfs(root, "ls -l /var/pdb")
    for name, data in contents.items():
        assert name in listing, listing
        copy = tmp_path / f"{name}.out"
        subprocess.run(["debugfs", "-R", f"dump /usr/lib/{name}.bin {copy}", root], capture_output=True)
        assert copy.read_bytes() == data, name
