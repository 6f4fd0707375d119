"""The boot program of the first sector, booted by the machine's BIOS from small disk images."""
import os
import struct
import subprocess

import pytest

import vm_runner
from conftest import BUILD_DIR

HERE = os.path.dirname(os.path.abspath(__file__))
MISSING = "Missing operating system"
ERROR = "Error loading operating system"
BOOTED = "PARTITION BOOTED "

# A 2 MiB disk addressed with 16 heads and 63 sectors per track by the entries below.
HEADS, SECTORS = 16, 63


def assemble(name, scratch):
    output = os.path.join(scratch, name + ".bin")
    subprocess.run(["nasm", "-f", "bin", "-o", output, os.path.join(HERE, name + ".asm")], check=True)
    with open(output, "rb") as program:
        return program.read()


@pytest.fixture(scope="module")
def programs(tmp_path_factory):
    scratch = str(tmp_path_factory.mktemp("programs"))
    built = os.path.join(BUILD_DIR, "setup", "disk", "boot_program.bin")
    with open(built, "rb") as program:
        master = program.read()
    assert len(master) == 184
    return master, assemble("partition_boot_sector", scratch)


def chs(lba):
    cylinder, rest = divmod(lba, HEADS * SECTORS)
    head, sector = divmod(rest, SECTORS)
    return bytes([head, (sector + 1) | ((cylinder >> 2) & 0xC0), cylinder & 0xFF])


def entry(status, first, count, start_chs=None):
    start = start_chs if start_chs is not None else chs(first)
    return bytes([status]) + start + bytes([0x83]) + chs(first + count - 1) + struct.pack("<II", first, count)


def make_disk(path, master, entries, partition_sectors):
    """entries: four (status, first sector, count[, CHS start]) or None; partition_sectors:
    {first sector: 512 bytes}."""
    sector = bytearray(512)
    sector[:184] = master
    for index, value in enumerate(entries):
        if value is not None:
            sector[446 + 16 * index: 462 + 16 * index] = entry(*value)
    sector[510:] = b"\x55\xaa"
    vm_runner.sparse_image(path, 2 * 1024 * 1024)
    with open(path, "r+b") as disk:
        disk.write(sector)
        for first, data in partition_sectors.items():
            disk.seek(first * 512)
            disk.write(data)


def without_signature(boot_sector):
    return boot_sector[:510] + b"\0\0"


CASES = [
    # name, entries, which partitions carry the test boot sector (True: with signature), expected
    ("first_active_entry_is_started", [(0, 63, 1000), (0x80, 1071, 1000), (0x80, 2079, 1000), None],
     {1071: True, 2079: True}, "booted 2"),
    ("active_entry_in_last_slot", [None, None, None, (0x80, 63, 1000)], {63: True}, "booted 4"),
    ("bad_status_byte", [(0x7F, 63, 1000), (0x80, 1071, 1000), None, None], {1071: True}, MISSING),
    ("boot_sector_without_signature", [(0x80, 63, 1000), None, None, None], {63: False}, MISSING),
    ("unreadable_boot_sector", [(0x80, 63, 1000, bytes([0, 1, 0xF0])), None, None, None], {63: True}, ERROR),
    ("no_active_partition", [(0, 63, 1000), None, None, None], {63: True}, "bios"),
]


@pytest.mark.parametrize("name,entries,sectors,expected", CASES, ids=[c[0] for c in CASES])
def test_boot_program(programs, tmp_path, name, entries, sectors, expected):
    master, partition_boot = programs
    image = str(tmp_path / "disk.img")
    make_disk(image, master, entries,
              {first: partition_boot if signed else without_signature(partition_boot) for first, signed in sectors.items()})
    wanted = [BOOTED, MISSING, ERROR, "No bootable device"]
    screen, serial, exit_code = vm_runner.boot_bios_disk(image, wanted)
    if expected.startswith("booted"):
        assert BOOTED + expected[-1] in serial, (screen, serial)
        assert exit_code == (0x21 << 1) | 1
    elif expected == "bios":
        # Interrupt 18h hands over to the BIOS, which finds nothing else to boot.
        assert "No bootable device" in screen, screen
        assert MISSING not in screen and BOOTED not in serial
    else:
        assert expected in screen, screen
        assert BOOTED not in serial
        other = ERROR if expected == MISSING else MISSING
        assert other not in screen
