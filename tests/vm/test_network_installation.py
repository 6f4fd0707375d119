"""A router booted from the "net" variant of the installation system installs itself over its
emulated Ethernet card from an installation server: `setup` in CD-ROM mode on the host, in a
network namespace of its own with the machine's tap device (see tests/e2e/netinstall_harness)."""
import os
import subprocess
import sys
import threading
import uuid

import pytest

import vm_runner
from test_media_installation import PACKAGES, blank_target, check_installed, dump, make_packages, overlay

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import netinstall_harness as net  # noqa: E402
import setup_harness as harness  # noqa: E402

pytestmark = pytest.mark.skipif(os.geteuid() != 0, reason="network namespaces and tap devices need root")


@pytest.fixture
def server_network():
    namespace = "ni%svm" % uuid.uuid4().hex[:6]
    subprocess.run(["ip", "netns", "add", namespace], check=True)
    subprocess.run(["ip", "-n", namespace, "tuntap", "add", "dev", "tap0", "mode", "tap"], check=True)
    yield namespace
    subprocess.run(["ip", "netns", "del", namespace])


def test_router_installs_itself_over_the_network(media, tmp_path, server_network):
    folder = tmp_path / "cd"
    folder.mkdir()
    make_packages(str(folder), str(tmp_path / "scratch"))
    target = blank_target(tmp_path)
    root = net.server_root(str(folder))
    server = harness.setup_session(root, timeout=400, network_namespace=server_network)
    runs = []
    machine = threading.Thread(target=lambda: runs.append(vm_runner.boot(
        media, overlay(), disk=target, initramfs="initramfs-net.cpio.gz", timeout=600,
        network=(server_network, "tap0"), answers=[("Press ENTER to reboot", "\r")])))
    machine.start()
    try:
        server.expect("cancel and reboot.")
        server.type("ar")
        server.expect("Found 1 router: ")
        server.type("\n")
        server.expect("Keep config? [y/n]:")
        server.type("n")
        for label, answer in (("IP address: ", "10.0.0.2\n"), ("bit count: ", "\n"),
                              ("gateway address: ", "0.0.0.0\n"), ("baud rate: ", "\n")):
            server.expect(label)
            server.type(answer)
        server.expect("Software installed.\r\nPress ENTER to reboot\r\n")
        server.expect("cancel and reboot.")  # the router's TERM
        server.type("q")
        server.expect("Installation canceled")
    finally:
        machine.join()
        server.stop()
        root.remove()
    run = runs[0]
    assert run.finished, run.output[-3000:]
    assert "mac-address: " in run.output and "disk label: kestrova" in run.output, run.output[-3000:]
    assert "Software installed." in run.output, run.output[-3000:]
    file_system = check_installed(target, tmp_path, [name for name, _, _ in PACKAGES])
    mac = run.output.split("mac-address: ")[1].split()[0]
    assert dump(file_system, "/autorun.scr", tmp_path) == (
        ":local eth\n"
        ":set eth [/interface ethernet get [/interface ethernet find mac-address=%s] name]\n"
        "/interface enable $eth\n"
        "/ip address add address=10.0.0.2/24 interface=$eth\n"
        "/port set [/port find] baud-rate=9600\n" % mac).encode()
