"""Shared set-up of the virtual-machine suites: they boot real machines in software emulation,
which takes minutes, so they run once per CI run, in the normal build, not again under the
sanitizers (nothing of the sanitized build runs inside the machine)."""
import fcntl
import os
import subprocess

import pytest

SOURCE_DIR = os.environ.get("ROUTER_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BUILD_DIR = os.environ.get("ROUTER_BUILD_DIR", os.path.join(SOURCE_DIR, "build"))
MEDIA_DIR = os.environ.get("ROUTER_MEDIA_DIR", os.path.join(SOURCE_DIR, "build-media"))


def sanitized_build():
    try:
        with open(os.path.join(BUILD_DIR, "CMakeCache.txt")) as cache:
            return any(line.strip() == "ROUTER_SANITIZE:BOOL=ON" for line in cache)
    except OSError:
        return False


def pytest_collection_modifyitems(config, items):
    if sanitized_build() or os.environ.get("ROUTER_SKIP_VM") == "1":
        skip = pytest.mark.skip(reason="virtual-machine suites run in the plain build only")
        for item in items:
            item.add_marker(skip)


@pytest.fixture(scope="session")
def media():
    """The installation system, built once; suites running side by side wait for each other."""
    os.makedirs(MEDIA_DIR, exist_ok=True)
    with open(os.path.join(MEDIA_DIR, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        result = subprocess.run(["bash", os.path.join(SOURCE_DIR, "media", "build.sh"), MEDIA_DIR],
                                capture_output=True, text=True)
        assert result.returncode == 0, result.stdout[-3000:] + result.stderr[-3000:]
    return MEDIA_DIR


@pytest.fixture(scope="session")
def test_driver(media):
    with open(os.path.join(media, "disk_test_driver"), "rb") as driver:
        return driver.read()
