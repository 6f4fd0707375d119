"""The installation system's "/sbin/sfdisk" layer, tried on image files on this machine: cylinder
input translated into sectors for the real tool, the old dump and geometry lines, and the first
446 bytes of the disk left alone."""
import os
import subprocess

import pytest

import vm_runner
from conftest import BUILD_DIR

HEADS, SECTORS, CYLINDERS = 16, 32, 160
CYLINDER = HEADS * SECTORS


@pytest.fixture(scope="module")
def layer(tmp_path_factory):
    scratch = tmp_path_factory.mktemp("layer")
    program = os.path.join(BUILD_DIR, "media", "sfdisk")
    geometry = scratch / "geometry"
    geometry.write_text(f"{HEADS} {SECTORS}\n")
    environment = dict(os.environ, SFDISK_GEOMETRY=str(geometry), SFDISK_SECTOR_TOOL="/usr/sbin/sfdisk")

    def run(*arguments, table=""):
        return subprocess.run([program, *arguments], input=table, capture_output=True, text=True, env=environment)
    return run


@pytest.fixture
def image(tmp_path):
    path = str(tmp_path / "disk.img")
    vm_runner.sparse_image(path, CYLINDERS * CYLINDER * 512)
    with open(path, "r+b") as disk:
        disk.write(bytes((7 * i + 3) & 0xFF for i in range(446)))
    return path


def test_geometry_line_uses_the_geometry_file(layer, image):
    result = layer("-g", image)
    assert result.stdout == f"{image}: {CYLINDERS} cylinders, {HEADS} heads, {SECTORS} sectors/track\n"


def test_blank_disk_dumps_no_entries(layer, image):
    result = layer("-d", "-uC", image)
    assert result.returncode == 0
    assert "/dev/" not in result.stdout and image + "1" not in result.stdout


def chs(sector):
    cylinder, rest = divmod(sector, CYLINDER)
    head, sector_in_track = divmod(rest, SECTORS)
    return bytes([head, (sector_in_track + 1) | ((cylinder >> 2) & 0xC0), cylinder & 0xFF])


TABLES = [
    ("one_partition_starts_one_track_in", "0,160,83,*\n", [(0x80, 0x83, SECTORS, 160 * CYLINDER - SECTORS)]),
    ("old_entries_emptied", "0,160,83,*\n0,0,0\n0,0,0\n0,0,0\n", [(0x80, 0x83, SECTORS, 160 * CYLINDER - SECTORS)]),
    ("two_partitions_on_cylinder_boundaries", "0,20,83,*\n20,140,83,*\n0,0,0\n",
     [(0x80, 0x83, SECTORS, 20 * CYLINDER - SECTORS), (0x80, 0x83, 20 * CYLINDER, 140 * CYLINDER)]),
    ("plain_second_partition", "0,100,83,*\n100,60,82\n",
     [(0x80, 0x83, SECTORS, 100 * CYLINDER - SECTORS), (0, 0x82, 100 * CYLINDER, 60 * CYLINDER)]),
]


@pytest.mark.parametrize("name,table,expected", TABLES, ids=[t[0] for t in TABLES])
def test_cylinder_table_is_written_in_sectors(layer, image, name, table, expected):
    before = vm_runner.first_sector(image)
    result = layer("-q", "-uC", image, table=table)
    assert result.returncode == 0, result.stderr
    sector = vm_runner.first_sector(image)
    assert sector[:446] == before[:446]
    assert sector[510:] == b"\x55\xaa"
    entries = vm_runner.partition_entries(image)
    assert entries == expected + [(0, 0, 0, 0)] * (4 - len(expected))
    for index, (status, kind, first, count) in enumerate(expected):
        raw = sector[446 + 16 * index: 462 + 16 * index]
        assert raw[1:4] == chs(first) and raw[5:8] == chs(first + count - 1), name

    dump = layer("-d", "-uC", image).stdout.splitlines()
    listed = [line for line in dump if line.startswith(image)]
    assert len(listed) == 4
    assert listed[0] == f"{image}1 : start={SECTORS:9d}, size={expected[0][3]:9d}, Id=83, bootable"


REJECTED = [
    ("past_the_end", "0,161,83,*\n"),
    ("overlapping", "0,100,83,*\n99,61,83\n"),
    ("five_entries", "0,10,83\n10,10,83\n20,10,83\n30,10,83\n40,10,83\n"),
    ("not_a_table", "start,size\n"),
    ("type_out_of_range", "0,10,100\n"),
]


@pytest.mark.parametrize("name,table", REJECTED, ids=[r[0] for r in REJECTED])
def test_rejected_table_leaves_the_disk_alone(layer, image, name, table):
    layer("-q", "-uC", image, table="0,160,83,*\n")
    before = vm_runner.first_sector(image)
    result = layer("-q", "-uC", image, table=table)
    assert result.returncode != 0
    assert vm_runner.first_sector(image) == before
