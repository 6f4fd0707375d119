"""An upgrade removes the old version before writing the new one; one that cannot fit into what is
free plus what that removal frees is refused first, and the old version stays whole."""
import os
import subprocess

import pytest

import vrp
from install_harness import install, make_root

MIB = 1 << 20


@pytest.fixture
def small_disk(tmp_path):
    mount_point = tmp_path / "root"
    mount_point.mkdir()
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=10m", "tmpfs", str(mount_point)], check=True)
    yield make_root(mount_point)
    subprocess.run(["umount", "-l", str(mount_point)], check=True)


@pytest.mark.parametrize("new_size, fits", [(5 * MIB, True), (9 * MIB, False)])
def test_upgrade_is_refused_unless_it_fits_once_the_old_version_is_gone(small_disk, tmp_path, new_size, fits):
    old_content = os.urandom(3 * MIB)
    old = vrp.make_package(tmp_path, "app", "1.0", files={"/opt/app.bin": old_content})
    new = vrp.make_package(tmp_path, "app", "2.0", files={"/opt/app.bin": os.urandom(new_size)})
    assert install(small_disk, old).status == 0
    free = os.statvfs(small_disk)
    assert new_size > free.f_bfree * free.f_frsize  # only the removal makes room, if anything does
    result = install(small_disk, new)  # through a pipe: read ahead from memory
    version = (small_disk / "var" / "pdb" / "app" / "version").read_text().split()[0]
    if fits:
        assert (result.status, result.messages) == (0, ["installed app-2.0"])
        assert version == str(vrp.pack_version("2.0"))
        assert (small_disk / "opt" / "app.bin").stat().st_size == new_size
    else:
        assert result.status == 1
        assert len(result.messages) == 1
        assert result.messages[0].startswith("ERROR: can not upgrade to app-2.0: the disk is too small for it (")
        assert version == str(vrp.pack_version("1.0"))
        assert (small_disk / "opt" / "app.bin").read_bytes() == old_content
