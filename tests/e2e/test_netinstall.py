"""Network installation: an installation server (CD-ROM flow, "r" in the package menu) and routers
in "net" mode, each `setup` in its own namespaces, talking over veth without IPv4 addresses."""

import json
import os
import re
import subprocess
import time

import pexpect
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
        self.processes = []

    def start(self, machine, root, timeout=60):
        session = harness.setup_session(root, timeout=timeout,
                                        network_namespace=self.segment.namespaces[machine])
        self.sessions.append(session)
        return session

    def server(self, package_folder, machine="server"):
        root = net.server_root(package_folder)
        self.roots.append(root)
        return root, self.start(machine, root)

    def router(self, machine="router", keep_input=True, before_start=None, **target):
        root = net.router_root(self.loops, str(self.tmp_path), keep_input=keep_input, **target)
        if before_start:
            before_start(root)
        self.roots.append(root)
        session = self.start(machine, root)
        seen = session.expect("Waiting for installation server...")
        return root, session, MAC.search(seen).group(1).decode()

    def python(self, machine, script, *arguments):
        self.processes.append(self.segment.python(machine, script, *arguments))
        return self.processes[-1]

    def remove(self):
        for process in self.processes:
            process.kill()
            process.wait()
        net.tear_down(self.sessions, self.loops, self.segment, self.roots)


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
        length = 1
        while wanted is not None and path.stat().st_size != wanted:
            # Description bytes are stored as they are: the file grows with them one for one.
            length += wanted - path.stat().st_size
            assert length > 0, "package too large to pad to %d bytes" % wanted
            vrp.make_package(work, name, "1.0", files=files, depends=depends, output=path,
                             description="x" * length)
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
        if file_name.endswith(".vrp"):
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


def test_kept_configuration_block_edges_and_empty_package_end_with_server_term(make_rig, tmp_path):
    folder, packages = package_folder(tmp_path, sizes={"system": 1452, "alpha": 1453})
    machines = make_rig()
    router_root, router, _ = machines.router()
    server_root, server = machines.server(str(folder))
    server.expect("cancel and reboot.")
    # A package that is empty by the time it is sent has nothing to install; the rest still goes.
    open(server_root.file("cdrom/zeta.vrp"), "w").close()
    server.type("ar")
    server.expect("Found 1 router: ")
    answer_questions(server, keep=True)
    order = install_order(server_root)
    assert transfers(order) + b"\r\nSoftware installed.\r\n" in server.expect("Press ENTER to reboot\r\n")
    router.expect("Press ENTER to reboot\r\n")
    server.type("x")
    assert re.search(rb"resend ack: \d+\r\n", router.rest())
    assert router.wait_for_end()
    server.expect("cancel and reboot.")
    server.type("q")

    assert net.installer_inputs(router_root) == [packages[name] for name in order if name != "zeta"]
    assert net.target_file(router_root, "/autorun.scr") == b""
    assert "autorun.scr" not in net.target_listing(router_root, "/")


def test_two_routers_are_listed_once_and_the_offer_reaches_only_the_chosen_one(make_rig, tmp_path):
    folder, packages = package_folder(tmp_path)
    machines = make_rig(("server", "first", "second"))
    routers = [machines.router(name) for name in ("first", "second")]
    server_root, server = machines.server(str(folder))
    server.expect("cancel and reboot.")
    server.type("ar")
    listing = server.expect("Found 2 routers: ")
    time.sleep(3)  # both keep announcing themselves
    server.type(ENTER)
    server.expect("Keep config? [y/n]:")
    assert b"Found 3" not in server.transcript + listing
    assert all(server.transcript.count(mac.encode()) >= 1 for _, _, mac in routers)
    server.type("y")
    server.expect("Press ENTER to reboot\r\n")
    chosen = [router for router in routers if shows(router[1], "Software installed.", 5)]
    assert len(chosen) == 1
    chosen_root, chosen_session, _ = chosen[0]
    other_root, other_session, _ = [router for router in routers if router is not chosen[0]][0]
    chosen_session.type(ENTER)
    server.expect("cancel and reboot.")
    assert chosen_session.wait_for_end()
    assert len(net.installer_inputs(chosen_root)) == 3
    # The other router heard the offer to the first one and keeps looking.
    assert not shows(other_session, "Found server", 1)
    assert other_session.child.isalive() and net.installer_inputs(other_root) == []


def shows(session, text, seconds):
    try:
        session.child.expect_exact(text.encode(), timeout=seconds)
        return True
    except pexpect.TIMEOUT:
        return False


# What reaches the router is cut to 400 datagrams a second: a package of a few MiB then takes long
# enough for something to happen in its middle.
SLOW = ("table inet slow {\n chain in {\n  type filter hook input priority 0;\n"
        "  udp dport 5000 limit rate over 400/second drop\n }\n}\n")


def pure_acknowledgement(acknowledged):
    """nftables match of our 20-byte pure acknowledgement of message `acknowledged`."""
    return "udp length 28 @th,208,16 0x%04x" % (((acknowledged & 0xFF) << 8) | (acknowledged >> 8))


def test_lost_acknowledgements_and_random_loss_and_repeats_still_install_everything(make_rig, tmp_path):
    folder, packages = package_folder(tmp_path)
    machines = make_rig()
    router_root, router, mac = machines.router()
    server_root, server = machines.server(str(folder))
    order = install_order(server_root)
    # The server's one acknowledgement of STRT (the router's message 3) is lost; so is the router's
    # first acknowledgement of the script's block, the server's last message.
    script_block = 2 + sum(1 + (len(packages[name]) + 1451) // 1452 for name in order) + 1
    machines.segment.nft("server", "table inet lost {\n chain out {\n  type filter hook output priority 0;\n"
                                   "  %s drop\n }\n}\n" % pure_acknowledgement(3))
    machines.segment.nft("server", "table inet lost_in {\n chain in {\n  type filter hook input priority 0;\n"
                                   "  %s quota until 48 bytes drop\n }\n}\n" % pure_acknowledgement(script_block))
    for machine in ("server", "router"):
        machines.segment.drop(machine, 5)
        machines.segment.repeat(machine, 5)
    choose_router(server)
    answer_questions(server, keep=False)
    screen = server.expect("Press ENTER to reboot\r\n")
    assert transfers(order) + b"\r\nSoftware installed.\r\n" in screen
    assert b"timeout" not in screen
    router.expect("Press ENTER to reboot\r\n")
    router.type(ENTER)
    assert router.wait_for_end()
    assert net.installer_inputs(router_root) == [packages[name] for name in order]
    assert net.target_file(router_root, "/autorun.scr") == (SCRIPT % mac).encode()


def bulky_package(folder, name, size):
    """A package whose file data is `size` random bytes (installer is not asked to unpack it)."""
    data = vrp.raw_package(name, "1.0", files_payload=os.urandom(size))
    (folder / ("%s.vrp" % name)).write_bytes(data)
    return data


def test_installation_longer_than_65535_messages_completes(make_rig, tmp_path):
    folder = tmp_path / "cd"
    folder.mkdir()
    # More blocks than 16-bit sequence numbers can count without wrapping.
    data = bulky_package(folder, "system", 65536 * 1452 + 1000)
    machines = make_rig()
    router_root, router, _ = machines.router(keep_input="sha256")
    server_root, server = machines.server(str(folder))
    choose_router(server)
    answer_questions(server, keep=True)
    server.child.expect_exact(b"Software installed.\r\n", timeout=900)
    assert b"timeout" not in server.child.before
    router.child.expect_exact(b"Press ENTER to reboot\r\n", timeout=60)
    router.type(ENTER)
    assert router.wait_for_end()
    assert net.installer_inputs(router_root) == [net.sha256_line(data)]


def test_link_cut_for_good_times_out_on_both_sides(make_rig, tmp_path):
    folder = tmp_path / "cd"
    folder.mkdir()
    bulky_package(folder, "system", 8 << 20)
    machines = make_rig()
    router_root, router, _ = machines.router(keep_input="sha256")
    server_root, server = machines.server(str(folder))
    # Slow enough that the cut comes in the middle of the package.
    machines.segment.nft("router", SLOW)
    choose_router(server)
    answer_questions(server, keep=True)
    server.expect("Transfering: system.vrp...\r\n")
    time.sleep(1)
    machines.segment.cut("server")
    cut = time.monotonic()
    router.child.expect_exact(b"\r\nFATAL ERROR: bad network connection\r\nPress ENTER to reboot\r\n", timeout=60)
    assert 29 < time.monotonic() - cut < 40
    server.child.expect_exact(b"FATAL ERROR: Installation timeout\r\n", timeout=60)
    # At least 0.5 ms doubled up to 1.7 s, thirty sends in all: 31 to 42 seconds.
    assert 30 < time.monotonic() - cut < 45
    server.expect("(press any key)")
    server.type("x")
    server.expect("cancel and reboot.")
    router.type(ENTER)
    assert router.wait_for_end()
    server.type("q")
    server.expect("Installation canceled")
    assert len(net.installer_inputs(router_root)) == 1


SCRIPTED_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "scripted_server.py")
LONG_SCRIPT_LOOKALIKE = "a" * 27 + ".scr.vrp"  # its first 31 characters end in ".scr"
BAD_NETWORK = b"\r\nFATAL ERROR: bad network connection\r\nPress ENTER to reboot\r\n"


def scripted_server(machines, tmp_path, steps, listen):
    """The scripted server in the "server" machine's namespace; its output lists what the router
    sent after the last step."""
    namespace = machines.segment.namespaces["server"]
    net.run("ip", "-n", namespace, "link", "set", "eth0", "up")
    net.run("ip", "-n", namespace, "address", "add", "10.77.0.1/24", "dev", "eth0")
    plan = tmp_path / "plan.json"
    plan.write_text(json.dumps({"keep": True, "steps": steps, "listen": listen}))
    return subprocess.Popen(["ip", "netns", "exec", namespace, "/usr/bin/python3", SCRIPTED_SERVER, "eth0",
                             str(plan)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def big_package(tmp_path):
    """A package of 6 MiB that does not compress, too big for a 4 MiB target."""
    return vrp.make_package(tmp_path / "packages", "big", "1.0", files={"/big.bin": os.urandom(6 << 20)},
                            output=tmp_path / "big.vrp")


# What a server that stops, lies or goes on after the end makes of the router: the router's last
# screen, whether it names its result by a reboot after Enter, and what it then said to the server.
# Rows: server - steps it takes (the system package is "system"); router's last words; router
# settings; which installer runs took place; "/CDINSTALL" expected.
HOSTILE_ROWS = {
    "silent after its first package": (
        [["file", "system.vrp", "system"]], BAD_NETWORK, {}, ["system"], False),
    "FILE with a negative size": (
        [["file", "system.vrp", "system"], ["announce", "zeta.vrp", "-5"]], BAD_NETWORK, {}, ["system"], False),
    "new FILE after the script": (
        [["file", "system.vrp", "system"], ["text", "autorun.scr", "script\n"], ["announce", "late.vrp", "9"]],
        b"Software installed.\r\nPress ENTER to reboot\r\n", {}, ["system"], True),
    "long name with .scr where a cut falls": (
        [["file", LONG_SCRIPT_LOOKALIKE, "system"], ["text", "autorun.scr", "script\n"]],
        b"Software installed.\r\nPress ENTER to reboot\r\n", {}, ["system"], True),
    "package larger than the disk": (
        [["file", "big.vrp", "big"], ["text", "autorun.scr", ""]],
        b"\r\nFATAL ERROR: not installed: big.vrp\r\nPress ENTER to reboot\r\n", {"image_size": 4 << 20},
        ["big"], False),
}


@pytest.mark.parametrize("row", HOSTILE_ROWS)
def test_router_says_installed_only_when_everything_arrived_and_installed(make_rig, tmp_path, row):
    steps, last_words, target, runs, marked = HOSTILE_ROWS[row]
    folder, packages = package_folder(tmp_path)
    paths = {name: str(folder / ("%s.vrp" % name)) for name in packages}
    if any(step[2:] == ["big"] for step in steps):
        paths["big"] = str(big_package(tmp_path))
        packages["big"] = open(paths["big"], "rb").read()
    steps = [step[:2] + [paths[step[2]]] if step[0] == "file" else step for step in steps]
    machines = make_rig()
    router_root, router, _ = machines.router(**target)
    server = scripted_server(machines, tmp_path, steps, listen=45)
    router.expect(last_words)
    assert (b"Software installed." in router.transcript) == marked
    try:
        router.type(ENTER)
    except OSError:
        pass  # a router that answered the server with TERM has ended without waiting for Enter
    assert router.wait_for_end()
    # The router's last word to the server is TERM: after a failure, or to a FILE after the script.
    said, _ = server.communicate(timeout=60)
    assert said.splitlines()[-1:] == ["TERM"], said
    assert row != "new FILE after the script" or said.splitlines() == ["TERM"], said

    # installer may give up on a package before it has read all of it
    inputs = net.installer_inputs(router_root)
    assert len(inputs) == len(runs) and all(packages[name].startswith(got) for name, got in zip(runs, inputs))
    assert ("CDINSTALL" in net.target_listing(router_root, "/")) == marked
    assert LONG_SCRIPT_LOOKALIKE[:31] not in net.target_listing(router_root, "/")
    if marked:
        assert net.target_file(router_root, "/autorun.scr") == b"script\n"


def script_block_acknowledgement(server_root, packages):
    order = install_order(server_root)
    return pure_acknowledgement(2 + sum(1 + (len(packages[name]) + 1451) // 1452 for name in order) + 1)


# A real server and a router that fails: installer fails the first package, or every acknowledgement
# of the script's block is lost. Rows: router settings; rule on the router's way out; the router's
# last words; the server's last words; installer runs.
FAILING_ROUTER_ROWS = {
    "installer fails a package": (
        {"fail_run": 1}, None, b"\r\nFATAL ERROR: not installed: %s.vrp\r\nPress ENTER to reboot\r\n",
        "The router stopped the installation after %s.vrp (press any key)", 1),
    "script never acknowledged": (
        {}, script_block_acknowledgement, b"\r\nSoftware installed.\r\nPress ENTER to reboot\r\n",
        "FATAL ERROR: Installation timeout", 3),
}


@pytest.mark.parametrize("row", FAILING_ROUTER_ROWS)
def test_server_says_installed_only_when_the_router_took_everything(make_rig, tmp_path, row):
    target, lost, last_words, server_words, runs = FAILING_ROUTER_ROWS[row]
    folder, packages = package_folder(tmp_path)
    machines = make_rig()
    router_root, router, _ = machines.router(**target)
    server_root, server = machines.server(str(folder))
    order = install_order(server_root)
    if lost:
        machines.segment.nft("server", "table inet lost {\n chain in {\n  type filter hook input priority 0;\n"
                                       "  %s drop\n }\n}\n" % lost(server_root, packages))
    choose_router(server)
    answer_questions(server, keep=False)
    router.expect(last_words.replace(b"%s", order[0].encode()))
    server.expect(server_words.replace("%s", order[0]))
    if "(press any key)" not in server_words:
        server.expect("(press any key)")
    server.type("x")
    server.expect("cancel and reboot.")
    assert b"Software installed." not in server.transcript
    router.type(ENTER)
    assert router.wait_for_end()
    server.type("q")
    server.expect("Installation canceled")
    assert net.installer_inputs(router_root) == [packages[name] for name in order[:runs]]
    assert ("CDINSTALL" in net.target_listing(router_root, "/")) == (runs == 3)



# The flows that take packages from local media: (setup's arguments, keys and answers, the file that
# only a finished installation leaves on the target). The hard disk source is the CD's folder too.
MEDIA_FLOWS = {
    "CD-ROM": ([], ["cancel and reboot.", "ai", "Do you want to keep old configuration? ", "n", "Continue?", "y"],
               "CDINSTALL"),
    "hard disk": (["-hdd-install"], [], "autorun.scr"),
}


@pytest.mark.parametrize("flow", MEDIA_FLOWS)
def test_media_installation_goes_on_after_a_failed_package_and_names_it(tmp_path, flow):
    arguments, dialogue, finished_mark = MEDIA_FLOWS[flow]
    folder, packages = package_folder(tmp_path)
    (folder / "autorun.scr").write_text("script\n")
    (folder / "mbr").write_bytes(bytes(512))
    root = net.server_root(str(folder))
    loops = net.loop_devices()
    session = None
    try:
        net.add_target(root, loops, str(tmp_path), fail_run=1)
        session = harness.setup_session(root, arguments, timeout=60)
        order = install_order(root)
        for wanted, keys in zip(dialogue[::2], dialogue[1::2]):
            session.expect(wanted)
            session.type(keys)
        session.expect("\r\nFATAL ERROR: not installed: %s.vrp\r\nPress ENTER to reboot\r\n" % order[0])
        assert b"Software installed." not in session.transcript
        session.type(ENTER)
        assert session.wait_for_end()
        # the stand-in failed the first run after the real installer had installed it
        assert net.installer_inputs(root) == [packages[name] for name in order]
        assert net.target_listing(root, "/var/pdb") == sorted(order)
        assert finished_mark not in net.target_listing(root, "/")
    finally:
        if session:
            session.stop()
        time.sleep(0.2)
        loops.remove()
        root.remove()


# What an ordinary segment does to an installation, one scenario each. Every scenario ends in
# what the user of each machine must see.

def expect_within(session, text, seconds):
    session.child.expect_exact(text.encode(), timeout=seconds)
    session.transcript += session.child.before + session.child.after


def install_kept(machines, server, router, router_root, packages, order=None):
    """The installation that keeps the router's configuration, from the package menu to the end."""
    choose_router(server)
    answer_questions(server, keep=True)
    expect_within(server, "Software installed.\r\nPress ENTER to reboot\r\n", 240)
    expect_within(router, "Software installed.\r\nPress ENTER to reboot\r\n", 60)
    router.type(ENTER)
    assert router.wait_for_end()
    order = order or list(packages)
    assert sorted(net.installer_inputs(router_root)) == sorted(packages[name] for name in order)


def foreign_broadcasts_on_the_port(machines, tmp_path):
    folder, packages = package_folder(tmp_path)
    router_root, router, _ = machines.router()
    net.run("ip", "-n", machines.segment.namespaces["server"], "link", "set", "eth0", "up")
    machines.python("server", net.FOREIGN_SENDER, 5)
    time.sleep(5)  # the segment was busy before the server came
    server_root, server = machines.server(str(folder))
    install_kept(machines, server, router, router_root, packages)


def card_gone_and_back(machines, tmp_path):
    folder, packages = package_folder(tmp_path)
    router_root, router, _ = machines.router()
    machines.segment.cut("router")
    router.expect("Couldn't find any installation server on network")
    time.sleep(2)
    machines.segment.reconnect()
    server_root, server = machines.server(str(folder))
    install_kept(machines, server, router, router_root, packages)


def lost_acknowledgements_of_yack(machines, tmp_path):
    folder, packages = package_folder(tmp_path)
    router_root, router, _ = machines.router()
    server_root, server = machines.server(str(folder))
    # The server's first eight acknowledgements of YACK (the router's message 2) are lost: more
    # than the router waits for before it looks for a server again.
    machines.segment.nft("router", "table inet lost {\n chain in {\n  type filter hook input priority 0;\n"
                                   "  %s quota until 384 bytes drop\n }\n}\n" % pure_acknowledgement(2))
    install_kept(machines, server, router, router_root, packages)


def router_term_while_a_file_is_sent(machines, tmp_path):
    folder = tmp_path / "cd"
    folder.mkdir()
    bulky_package(folder, "first", 1000)
    bulky_package(folder, "second", 8 << 20)
    router_root, router, router_mac = machines.router(keep_input="sha256")
    server_root, server = machines.server(str(folder))
    machines.segment.nft("router", SLOW)
    choose_router(server)
    answer_questions(server, keep=True)
    server.expect("Transfering: second.vrp...\r\n")
    before = b"Transfering: first.vrp" in server.transcript
    # The router's own next message after STRT (its message 3) is its 4th.
    machines.python("router", net.MESSAGE_SENDER,
                    net.message(router_mac, machines.segment.mac("server"), 4, b"TERM"))
    told = time.monotonic()
    expect_within(server, "The router stopped the installation %s (press any key)\r\n"
                  % ("after first.vrp" if before else "before the first package"), 5)
    assert time.monotonic() - told < 3
    server.type("x")
    server.expect("cancel and reboot.")


def slow_installer_after_its_last_byte(machines, tmp_path):
    folder, packages = package_folder(tmp_path)
    router_root, router, _ = machines.router(linger=90)
    server_root, server = machines.server(str(folder))
    install_kept(machines, server, router, router_root, packages)
    assert b"timeout" not in server.transcript


def unreadable_kept_configuration(machines, tmp_path):
    folder, packages = package_folder(tmp_path)

    def damaged_configuration(root):
        # The configuration's first data block lies far beyond the end of the file system.
        commands = tmp_path / "debugfs.commands"
        (tmp_path / "config").write_bytes(b"/system identity set name=kept\n")
        commands.write_text("mkdir vorn\nmkdir vorn/store\nwrite %s vorn/store/config\n"
                            "sif vorn/store/config block[0] 99999999\n" % (tmp_path / "config"))
        net.run("debugfs", "-w", "-f", commands, root.target_image)

    router_root, router, _ = machines.router(before_start=damaged_configuration)
    server_root, server = machines.server(str(folder))
    choose_router(server)
    answer_questions(server, keep=True)
    expect_within(server, "The router refused to install (press any key)\r\n", 30)
    screen = router.expect("nothing has been written to the disk.")
    assert b"Continue" not in screen
    server.type("x")
    server.expect("cancel and reboot.")
    assert net.installer_inputs(router_root) == []
    assert net.target_listing(router_root, "/vorn/store") == ["config"]
    assert "var" not in net.target_listing(router_root, "/")


def failure_on_the_server_stays_and_reaches_the_router(machines, tmp_path):
    folder = tmp_path / "cd"
    folder.mkdir()
    bulky_package(folder, "system", 8 << 20)
    router_root, router, _ = machines.router(keep_input="sha256")
    server_root, server = machines.server(str(folder))
    # A local rule drops the server's first TERM, as it would under a busy sender's rate limit: its
    # send fails at once, and the attempts after it must still be made.
    machines.segment.nft("server", "table inet term {\n chain out {\n  type filter hook output priority 0;\n"
                                   "  udp dport 5000 @th,224,32 0x5445524d limit rate 1/hour burst 1 packets drop\n"
                                   " }\n}\n")
    machines.segment.nft("router", SLOW)
    choose_router(server)
    answer_questions(server, keep=True)
    server.expect("Transfering: system.vrp...\r\n")
    os.truncate(server_root.file("cdrom/system.vrp"), 0)  # the CD can't be read any further
    expect_within(server, "FATAL ERROR: Read package failed\r\n", 20)
    failed = time.monotonic()
    # The router hears it from the server instead of waiting for data that never comes.
    expect_within(router, "FATAL ERROR: bad network connection", 10)
    assert time.monotonic() - failed < 5
    assert not shows(server, "cancel and reboot.", 2)
    server.type("x")
    server.expect("cancel and reboot.")


CROWD = """
import socket, sys, time
crowd = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
crowd.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
crowd.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, b"eth0")
crowd.bind(("", 5000))
for number in range(int(sys.argv[1])):
    payload = b"DSCV\\n\\n\\nr%d\\n\\0" % number
    header = bytes([2, 0, 0, 0, number >> 8, number & 255]) + bytes(6) + bytes([0, 0])
    header += len(payload).to_bytes(2, "little") + (1).to_bytes(2, "little") + bytes(2)
    crowd.sendto(header + payload, ("255.255.255.255", 5000))
    time.sleep(0.003)
"""


def a_thousand_routers_and_more(machines, tmp_path):
    folder, packages = package_folder(tmp_path)
    server_root, server = machines.server(str(folder))
    server.expect("cancel and reboot.")
    server.type("ar")
    server.expect("Looking for routers on 1 interface...")
    net.run("ip", "-n", machines.segment.namespaces["router"], "link", "set", "eth0", "up")
    machines.python("router", CROWD, 1200)
    expect_within(server, "Found 1000 routers: ", 60)
    time.sleep(2)
    for key in "p" * 30 + "n" * 5:
        server.type(key)
    server.type("q")
    rest = server.expect("cancel and reboot.")
    screen = server.transcript
    assert b"Found 1001" not in screen
    # Only what changed is drawn, and only rows of the screen are written.
    assert len(screen) < 1 << 20
    assert max(int(row) for row in re.findall(rb"\x1b\[(\d+);\d+H", screen)) <= 25
    # The first router heard stays current and in view; "p" scrolls towards the later ones.
    assert b" 02:00:00:00:00:00(r0) " in screen and b"(r30) " in rest


@pytest.mark.parametrize("scenario", [
    foreign_broadcasts_on_the_port,
    card_gone_and_back,
    lost_acknowledgements_of_yack,
    router_term_while_a_file_is_sent,
    slow_installer_after_its_last_byte,
    unreadable_kept_configuration,
    failure_on_the_server_stays_and_reaches_the_router,
    a_thousand_routers_and_more,
], ids=lambda scenario: scenario.__name__)
def test_installation_on_an_ordinary_segment(make_rig, tmp_path, scenario):
    scenario(make_rig(), tmp_path)


# Four routers on one bridge installed at once, one of them with a bad link. Rows: what happens to
# the third router's link once its installation is under way; whether it still gets installed.
FLEET_ROWS = {
    "every link sound": (None, True),
    "one link cut in the middle": ("cut", False),
    "one link losing 5%": ("loss", True),
}
PLAN_LINE = re.compile(rb"([0-9A-F:]{17})\([^)\r\n]*\) (10\.0\.0\.\d+)\r\n")


@pytest.mark.parametrize("row", FLEET_ROWS)
def test_a_fleet_is_installed_at_once_and_a_bad_link_fails_only_its_router(make_rig, tmp_path, row):
    link, troubled_installed = FLEET_ROWS[row]
    folder, packages = package_folder(tmp_path, sizes={"system": 1500000} if link == "cut" else None)
    names = ("first", "second", "third", "fourth")
    machines = make_rig(("server",) + names)
    routers = {name: machines.router(name) for name in names}
    troubled_mac = routers["third"][2]
    if link == "loss":
        machines.segment.drop("third", 5)
    elif link == "cut":
        # Slow enough that the cut comes in the middle of its first package.
        machines.segment.nft("third", "table inet slow {\n chain in {\n  type filter hook input priority 0;\n"
                                      "  udp dport 5000 limit rate over 200/second drop\n }\n}\n")
    server_root, server = machines.server(str(folder))
    order = install_order(server_root)
    choose_router(server, 4)
    server.type(" ")
    server.expect("*")
    server.type("a")
    server.type(ENTER)
    server.expect("Keep config? [y/n]:")
    server.type("n")
    for label, answer in (("Enter routers IP address: ", "10.0.0.2\n"),
                          ("Enter routers netmask bit count: ", "\n"),
                          ("Enter routers default gateway address: ", "10.0.0.1\n"),
                          ("Enter serial console baud rate: ", "\n")):
        server.expect(label)
        server.type(answer)
    plan = server.expect("Install these routers? [y/n]:")
    addresses = {mac.decode(): address.decode() for mac, address in PLAN_LINE.findall(plan)}
    assert sorted(addresses) == sorted(mac for _, _, mac in routers.values())
    assert sorted(addresses.values()) == ["10.0.0.%d" % n for n in range(2, 6)]
    server.type("y")
    started = time.monotonic()
    if link == "cut":
        server.child.expect(re.escape(troubled_mac.encode()) + rb"\([^)]*\) system\.vrp [1-9]", timeout=60)
        machines.segment.cut("third")
    # The sound routers are not held up by the troubled one, whose turn comes last.
    for name in ("first", "second", "fourth", "third"):
        root, session, mac = routers[name]
        healthy = mac != troubled_mac or troubled_installed
        session.child.expect_exact(b"Software installed.\r\nPress ENTER to reboot\r\n" if healthy
                                   else b"FATAL ERROR: bad network connection\r\nPress ENTER to reboot\r\n",
                                   timeout=90)
        assert mac == troubled_mac or time.monotonic() - started < 20
    for root, session, mac in routers.values():
        session.type(ENTER)
        assert session.wait_for_end()
    result = server.expect("Software installed on %d of 4 routers." % (4 if troubled_installed else 3))
    if not troubled_installed:
        assert re.search(re.escape(troubled_mac.encode()) + rb"\([^)]*\) failed: Installation timeout", result)
        server.expect("(press any key)")
        server.type("x")
    server.expect("cancel and reboot.")
    for root, session, mac in routers.values():
        if mac == troubled_mac and not troubled_installed:
            assert len(net.installer_inputs(root)) < len(order)
            continue
        assert net.installer_inputs(root) == [packages[name] for name in order]
        script = (SCRIPT % mac).replace("10.0.0.2/", addresses[mac] + "/")
        assert net.target_file(root, "/autorun.scr") == script.encode()
