"""The floppy set builder: a set read back gives the stream it was cut from, damage within what the
parity can mend still checks, more damage or a wrong order does not."""
import os
import random
import subprocess

import pytest

import vrp

TOOL = os.path.join(vrp.build_dir(), "tools", "floppyset", "floppyset")


def floppyset(*args):
    return subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True)


LAYOUTS = [
    # name, capacity, block size, blocks per group, parity blocks
    ("defaults", None, None, None, None),
    ("small_groups", 5000, 64, 4, 1),
    ("one_data_byte_per_block", 2000, 5, 3, 1),
    ("two_parity_blocks", 9000, 128, 6, 2),
]


@pytest.mark.parametrize("name,capacity,block_size,blocks,parity", LAYOUTS, ids=[l[0] for l in LAYOUTS])
def test_set_round_trip_and_damage(tmp_path, name, capacity, block_size, blocks, parity):
    generator = random.Random(name)
    package = vrp.make_package(tmp_path, "first", "1.0", files={"/a": generator.randbytes(30000),
                                                                "/b": generator.randbytes(9000)})
    options = []
    for option, value in (("--capacity", capacity), ("--block-size", block_size), ("--blocks-per-group", blocks),
                          ("--parity", parity)):
        if value is not None:
            options += [option, value]
    out = tmp_path / "set"
    out.mkdir()
    built = floppyset("build", *options, out, package)
    assert built.returncode == 0, built.stderr
    parts = built.stdout.split()
    assert [os.path.basename(p) for p in parts] == ["kestrova.n%02u" % i for i in range(len(parts))]
    assert all(os.path.getsize(p) <= (capacity or 1457664) for p in parts)
    stream = package.read_bytes()

    checked = floppyset("check", "--output", tmp_path / "stream", *parts)
    assert checked.returncode == 0, checked.stderr
    assert (tmp_path / "stream").read_bytes() == stream
    assert len(checked.stdout.splitlines()) == len(parts)

    if len(parts) > 1:
        assert floppyset("check", *reversed(parts)).returncode == 1
    # One damaged data block in the last part: mended with one parity block, fatal otherwise.
    assert floppyset("damage", parts[-1], 0, 0).returncode == 0
    checked = floppyset("check", "--output", tmp_path / "mended", *parts)
    if parity in (None, 1):
        assert checked.returncode == 0, checked.stderr
        assert checked.stdout.splitlines()[-1].endswith(", 1 mended")
        assert (tmp_path / "mended").read_bytes() == stream
    else:
        assert checked.returncode == 1 and "can't be mended" in checked.stderr
    assert floppyset("damage", parts[-1], 0, 1).returncode == 0
    assert floppyset("check", *parts).returncode == 1


def test_images_hold_the_part_under_its_name(tmp_path):
    package = vrp.make_package(tmp_path, "tiny", "1.0", files={"/t": "tiny\n"})
    built = floppyset("build", "--images", tmp_path, package)
    assert built.returncode == 0, built.stderr
    image = tmp_path / "kestrova.n00.img"
    assert image.stat().st_size == 1474560
    listing = subprocess.run(["mdir", "-b", "-i", image, "::"], capture_output=True, text=True,
                             env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))
    assert listing.stdout.split() == ["::/kestrova.n00"], listing.stdout + listing.stderr


@pytest.mark.parametrize("options", [["--block-size", "4"], ["--parity", "16"], ["--block-size", "65535", "--blocks-per-group", "17"],
                                     ["--capacity", "100"]])
def test_layouts_no_part_could_carry_are_refused(tmp_path, options):
    package = vrp.make_package(tmp_path, "tiny", "1.0", files={"/t": "tiny\n"})
    result = floppyset("build", *options, tmp_path, package)
    assert result.returncode == 1 and result.stderr and not list(tmp_path.glob("kestrova.*"))


def test_several_packages_are_refused_for_a_bundle(tmp_path):
    # installer reads one package file from the set: a second one would never be installed.
    first = vrp.make_package(tmp_path, "first", "1.0", files={"/a": "a\n"})
    second = vrp.make_package(tmp_path, "second", "1.0", files={"/b": "b\n"})
    result = floppyset("build", tmp_path, first, second)
    assert result.returncode == 1 and not list(tmp_path.glob("kestrova.*"))
    assert "2 package files given" in result.stderr and "one bundle with mkvrp" in result.stderr, result.stderr
