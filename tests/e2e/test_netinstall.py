"""Network installation: an installation server (CD-ROM flow, "r" in the package menu) and routers
in "net" mode, each `setup` in its own namespaces, talking over veth without IPv4 addresses."""

import os
import re
import time

import pytest

import netinstall_harness as net
import setup_harness as harness
import vrp
from setup_harness import ENTER

pytestmark = pytest.mark.skipif(os.geteuid() != 0, reason="namespaces, loop devices and chroot need root")

SCRIPT = (":local eth\n"
          ":set eth [/interface ethernet get [/interface ethernet find mac-address=%s] name]\n"
          "/interface enable $eth\n"
          "/ip address add address=10.0.0.2/24 interface=$eth\n"
          "/ip route add gateway=10.0.0.1\n"
          "/port set [/port find] baud-rate=9600\n")
MAC = re.compile(rb"mac-address: ([0-9A-F:]{17})")


class rig:
    """One segment, the loop devices and the roots and sessions of the machines on it."""

    def __init__(self, tmp_path, machines):
        self.tmp_path = tmp_path
        self.segment = net.segment(machines)
        self.loops = net.loop_devices()
        self.roots = []
        self.sessions = []

    def start(self, machine, root, timeout=60):
        session = harness.setup_session(root, timeout=timeout,
                                        network_namespace=self.segment.namespaces[machine])
        self.sessions.append(session)
        return session

    def server(self, package_folder, machine="server"):
        root = net.server_root(package_folder)
        self.roots.append(root)
        return root, self.start(machine, root)

    def router(self, machine="router", keep_input=True):
        root = net.router_root(self.loops, str(self.tmp_path), keep_input=keep_input)
        self.roots.append(root)
        session = self.start(machine, root)
        seen = session.expect("Waiting for installation server...")
        return root, session, MAC.search(seen).group(1).decode()

    def remove(self):
        for session in self.sessions:
            session.stop()
        time.sleep(0.2)  # the namespaces' mounts go with their last process
        self.loops.remove()
        self.segment.remove()
        for root in self.roots:
            root.remove()


@pytest.fixture
def make_rig(tmp_path):
    made = []

    def make(machines=("server", "router")):
        made.append(rig(tmp_path, machines))
        return made[-1]

    yield make
    for each in made:
        each.remove()


def package_folder(tmp_path, sizes=None):
    """Three packages, "alpha" depending on "zeta"; `sizes` pads named packages to exact sizes."""
    folder = tmp_path / "cd"
    folder.mkdir()
    work = tmp_path / "packages"
    work.mkdir()
    made = {}
    for name in ("system", "alpha", "zeta"):
        depends = DEPENDS.get(name, [])
        files = {"/etc/%s.conf" % name: "%s settings\n" % name}
        path = vrp.make_package(work, name, "1.0", files=files, depends=depends,
                                output=folder / ("%s.vrp" % name))
        wanted = (sizes or {}).get(name)
        if wanted is not None:
            # The description is stored as it is: each byte of it is one byte of the file.
            shortfall = wanted - path.stat().st_size
            assert shortfall > 16, "package too large to pad to %d bytes" % wanted
            vrp.make_package(work, name, "1.0", files=files, depends=depends, output=path,
                             description="x" * (shortfall - 16))
            shortfall = wanted - path.stat().st_size
            vrp.make_package(work, name, "1.0", files=files, depends=depends, output=path,
                             description="x" * (shortfall - 16 + 16))
            assert path.stat().st_size == wanted
        made[name] = path.read_bytes()
    return folder, made


DEPENDS = {"alpha": ["zeta"]}


def install_order(server_root):
    """Every package after what it depends on, the rest in the order the CD's folder lists them."""
    order = []

    def visit(name):
        if name not in order:
            for dependency in DEPENDS.get(name, []):
                visit(dependency)
            order.append(name)

    for file_name in os.listdir(server_root.file("cdrom")):
        visit(file_name[:-len(".vrp")])
    return order


def transfers(order, script=True):
    lines = ["Transfering: %s.vrp...\r\n" % name for name in order]
    if script:
        lines.append("Transfering: configuration...\r\n")
    return "".join(lines).encode()


def choose_router(server, count=1):
    server.expect("cancel and reboot.")
    server.type("ar")
    server.expect("Found %d router%s: " % (count, "" if count == 1 else "s"))


def answer_questions(server, keep):
    server.type(ENTER)
    server.expect("Keep config? [y/n]:")
    if keep:
        server.type("y")
        return
    server.type("n")
    for label, answer in (("Enter routers IP address: ", "10.0.0.2\n"),
                          ("Enter routers netmask bit count: ", "\n"),
                          ("Enter routers default gateway address: ", "10.0.0.1\n"),
                          ("Enter serial console baud rate: ", "\n")):
        server.expect(label)
        server.type(answer)


def test_router_installs_packages_and_script_and_ends_with_its_own_term(make_rig, tmp_path):
    folder, packages = package_folder(tmp_path)
    machines = make_rig()
    router_root, router, mac = machines.router()
    server_root, server = machines.server(str(folder))
    choose_router(server)
    answer_questions(server, keep=False)
    screen = server.expect("Press ENTER to reboot\r\n")
    order = install_order(server_root)
    assert transfers(order) + b"\r\nSoftware installed.\r\n" in screen
    router.expect("Software installed.\r\nPress ENTER to reboot\r\n")
    router.type(ENTER)
    # The router's TERM ends the server's wait: the menu comes back.
    server.expect("cancel and reboot.")
    assert router.wait_for_end()
    server.type("q")
    server.expect("Installation canceled")

    assert net.installer_inputs(router_root) == [packages[name] for name in order]
    assert net.target_file(router_root, "/autorun.scr") == (SCRIPT % mac).encode()
    assert net.target_listing(router_root, "/var/pdb") == sorted(order)
    assert net.target_file(router_root, "/etc/alpha.conf") == b"alpha settings\n"
