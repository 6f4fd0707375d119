"""A network installation between two machines that both run the installation system: one boots the
CD-ROM variant with a CD of packages and becomes the installation server ("r" in the package
menu), the other boots the "net" variant with a blank disk. Their Ethernet cards are taps on one
bridge in a network namespace of their own, where nftables can drop datagrams and another program
can broadcast to the installation port."""
import os
import re
import subprocess
import threading
import time
import uuid

import pytest

import vm_runner
from test_media_installation import PACKAGES, blank_target, check_installed, dump, make_iso, make_packages, overlay

pytestmark = pytest.mark.skipif(os.geteuid() != 0, reason="network namespaces and tap devices need root")

SERVER_MAC, ROUTER_MAC = "52:54:00:00:00:01", "52:54:00:00:00:02"

# Broadcasts to the installation port from another port, five datagrams a second.
FOREIGN_SENDER = """
import socket, time
sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sender.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
sender.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, b"br0")
sender.bind(("", 6000))
while True:
    sender.sendto(b"not for you", ("255.255.255.255", 5000))
    time.sleep(0.2)
"""


def nft(namespace, *command, input=None):
    return subprocess.run(["ip", "netns", "exec", namespace, "nft", *command], check=True, text=True,
                          input=input, capture_output=True).stdout


def ip(namespace, *command):
    subprocess.run(["ip", "-n", namespace, *command], check=True)


@pytest.fixture
def segment():
    namespace = "ni%svm" % uuid.uuid4().hex[:6]
    subprocess.run(["ip", "netns", "add", namespace], check=True)
    ip(namespace, "link", "add", "br0", "type", "bridge")
    ip(namespace, "link", "set", "br0", "up")
    for tap in ("tap0", "tap1"):
        ip(namespace, "tuntap", "add", "dev", tap, "mode", "tap")
        ip(namespace, "link", "set", tap, "master", "br0")
        ip(namespace, "link", "set", tap, "up")
    yield namespace
    subprocess.run(["ip", "netns", "del", namespace])


def install_between_two_machines(media, tmp_path, namespace):
    """Both machines from power-on to reboot; returns their runs and the router's disk."""
    target = blank_target(tmp_path)
    server_disk = str(tmp_path / "server.img")
    vm_runner.sparse_image(server_disk, 32 << 20)
    server_answers = [
        ("cancel and reboot.", "ar"),
        ("Found 1 router: ", "\r"),
        ("Keep config? [y/n]:", "n"),
        ("IP address: ", "10.0.0.2\r"), ("bit count: ", "\r"),
        ("gateway address: ", "10.0.0.1\r"), ("baud rate: ", "\r"),
        ("Software installed.", ""),
        # The router's TERM brings the menu back.
        ("cancel and reboot.", "q"),
        ("Installation canceled", ""),
        ("Press ENTER to reboot", "\r"),
    ]
    runs = {}

    def router():
        runs["router"] = vm_runner.boot(media, overlay(), disk=target, initramfs="initramfs-net.cpio.gz",
                                        timeout=600, network=(namespace, "tap1", ROUTER_MAC),
                                        answers=[("Press ENTER to reboot", "\r")])

    machine = threading.Thread(target=router)
    machine.start()
    try:
        runs["server"] = vm_runner.boot(media, overlay(), disk=server_disk, cdrom=str(tmp_path / "cd.iso"),
                                        initramfs="initramfs-cdrom.cpio.gz", timeout=600,
                                        network=(namespace, "tap0", SERVER_MAC), answers=server_answers)
    finally:
        machine.join()
    return runs["server"], runs["router"], target


def test_cd_booted_server_installs_a_router_also_on_a_lossy_busy_segment(media, tmp_path, segment):
    cd = tmp_path / "cd"
    make_packages(str(cd), str(tmp_path / "scratch"))
    make_iso(str(cd), str(tmp_path / "cd.iso"))
    names = [name for name, _, _ in PACKAGES]
    configuration = (":local eth\n"
                     ":set eth [/interface ethernet get [/interface ethernet find mac-address=%s] name]\n"
                     "/interface enable $eth\n"
                     "/ip address add address=10.0.0.2/24 interface=$eth\n"
                     "/ip route add gateway=10.0.0.1\n"
                     "/port set [/port find] baud-rate=9600\n" % ROUTER_MAC.upper()).encode()
    for trouble in (False, True):
        work = tmp_path / ("troubled" if trouble else "quiet")
        work.mkdir()
        os.link(tmp_path / "cd.iso", work / "cd.iso")
        foreign = None
        if trouble:
            nft(segment, "-f", "-", input=(
                "table bridge trouble {\n"
                " chain forward {\n  type filter hook forward priority 0;\n"
                "  udp dport 5000 numgen random mod 100 < 5 counter drop\n }\n"
                " chain output {\n  type filter hook output priority 0;\n  udp sport 6000 counter\n }\n}\n"))
            foreign = subprocess.Popen(["ip", "netns", "exec", segment, "/usr/bin/python3", "-c", FOREIGN_SENDER])
        started = time.monotonic()
        try:
            server, router, target = install_between_two_machines(media, work, segment)
        finally:
            if foreign:
                foreign.kill()
                foreign.wait()
        print("two machines%s: %.0f s" % (" with loss and foreign datagrams" if trouble else "",
                                           time.monotonic() - started))
        assert server.finished and router.finished, server.output[-3000:] + router.output[-3000:]
        # The server found its card by itself: the CD variant loads no network driver at start.
        assert "Looking for routers on 1 interface..." in server.output, server.output[-3000:]
        assert "Software installed." in server.output and "FATAL" not in server.output, server.output[-3000:]
        for name in names:
            assert "Transfering: %s.vrp..." % name in server.output
        assert "Software installed." in router.output and "FATAL" not in router.output, router.output[-3000:]
        assert "Found server at %s" % SERVER_MAC.upper() in router.output
        file_system = check_installed(target, work, names)
        assert dump(file_system, "/autorun.scr", work) == configuration
        status = vm_runner.inode_status(file_system, "/CDINSTALL")
        assert status is not None and status["type"] == "regular" and status["mode"] == 0o600
        if trouble:
            # Both kinds of trouble were there: datagrams of the two machines were dropped, and the
            # foreign ones went out to them.
            dropped, foreign_sent = (int(count) for count in re.findall(
                r"counter packets (\d+)", nft(segment, "list", "table", "bridge", "trouble")))
            assert dropped > 10 and foreign_sent > 25, (dropped, foreign_sent)
