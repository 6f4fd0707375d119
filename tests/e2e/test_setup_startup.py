"""`setup` from its start to the restart, as the first process of a throw-away installation system."""

import os
import signal
import time

import pytest

import setup_harness as harness
from setup_harness import CTRL_C, ENTER

pytestmark = pytest.mark.skipif(os.geteuid() != 0, reason="namespaces and chroot need root")

BASE_MODULES = ["fat", "vfat", "isofs", "cdrom", "ide-cd", "usbcore", "usb-uhci", "usb-ohci", "hid"]
WELCOME = "\x1b[?25l\x1b[H\x1b[2JWelcome to Kestrova Router Software %s\r\nPress Ctrl-Alt-Delete to abort\r\n"
REBOOT_PROMPT = "Press ENTER to reboot\r\n"


@pytest.fixture
def make_root():
    roots = []

    def make(**options):
        root = harness.installation_root(**options)
        roots.append(root)
        return root

    yield make
    for root in roots:
        root.remove()


@pytest.fixture
def run():
    sessions = []

    def start(root, **options):
        session = harness.setup_session(root, **options)
        sessions.append(session)
        return session

    yield start
    for session in sessions:
        session.stop()


def wait_until(condition, seconds=10):
    deadline = time.monotonic() + seconds
    while not condition():
        assert time.monotonic() < deadline, "timed out"
        time.sleep(0.05)


@pytest.mark.parametrize("type_text, arguments, subtitle", [
    (None, [], "floppy installation"),
    ("net\n", [], "remote installation"),
    ("net", [], "remote installation"),
    ("net \n", [], "floppy installation"),
    ("NET\n", [], "floppy installation"),
    ("network\n", [], "floppy installation"),
    ("cdrom\n", ["-hdd-install"], "hard disk installation"),
    (None, ["quiet", "-hdd-install"], "hard disk installation"),
    (None, ["-hdd-installer"], "floppy installation"),
    ("", [], "floppy installation"),
])
def test_mode_follows_argument_then_type_file(make_root, run, type_text, arguments, subtitle):
    session = run(make_root(type_text=type_text), arguments=arguments)
    screen = session.expect(REBOOT_PROMPT)
    assert screen.startswith((WELCOME % subtitle).encode())
    session.type(ENTER)
    assert session.wait_for_end()


def test_cdrom_without_disk_skips_welcome_and_waits_for_enter(make_root, run):
    session = run(make_root(type_text="cdrom\n"))
    screen = session.expect(REBOOT_PROMPT)
    assert b"Welcome" not in screen
    session.type(ENTER)
    assert session.wait_for_end()


def test_failed_flow_reboots_on_enter(make_root, run):
    # The floppy installation on a machine without a disk fails before it asks for anything.
    root = make_root()
    session = run(root)
    assert session.expect(REBOOT_PROMPT).endswith(
        b"\r\nFATAL ERROR: no harddrives found\r\n" + REBOOT_PROMPT.encode())
    # Keys other than Enter ring the bell, an arrow key as three of them.
    session.type("x\x1b[A")
    session.expect(b"\x07\x07\x07\x07")
    session.type(ENTER)
    assert session.rest() == b"\x1b[?25h\r\nRebooting...\r\n"
    session.child.close()
    assert session.child.signalstatus == harness.RESTART_SIGNAL
    assert root.calls() == [["insmod", module] for module in BASE_MODULES] + [["sfdisk", "-g"]]


@pytest.mark.parametrize("program_name, forks", [
    ("/sbin/init", True),
    ("/linuxrc-init-stage", True),
    ("/sbin/setup", False),
    ("/sbin/INIT", False),
])
def test_program_named_init_forks_and_child_reboots(make_root, run, program_name, forks):
    root = make_root()
    session = run(root, program_name=program_name)
    session.expect(REBOOT_PROMPT)
    session.type(ENTER)
    assert session.wait_for_end()
    callers = set(root.caller_pids())
    assert len(callers) == 1
    assert (callers != {1}) == forks


def test_first_process_restarts_when_its_child_crashes(make_root, run):
    session = run(make_root(), program_name="/sbin/init")
    session.expect(REBOOT_PROMPT)
    first = session.child.pid
    for _ in range(2):  # unshare -> the waiting first process -> the child doing the work
        with open("/proc/%d/task/%d/children" % (first, first)) as stream:
            first = int(stream.read().split()[0])
    os.kill(first, signal.SIGSEGV)
    # Ending with the child would leave the machine halted; the first process restarts it.
    assert session.wait_for_end()


def test_interrupt_aborts_and_reboots_after_enter(make_root, run):
    root = make_root(blocking_modules=("hid",))
    session = run(root)
    wait_until(lambda: ["insmod", "hid"] in root.calls())
    session.type(CTRL_C)
    session.expect("\r\n\r\nInstallation aborted\r\n" + REBOOT_PROMPT)
    session.type(ENTER)
    after = session.rest()
    assert b"Rebooting" not in after and after.endswith(b"\x1b[?25h")
    session.child.close()
    assert session.child.signalstatus == harness.RESTART_SIGNAL
    # The abort came during module loading: nothing after it ran.
    assert root.calls()[-1] == ["insmod", "hid"]


@pytest.mark.parametrize("mounted", [
    ("/mnt", "/mnt/boot", "/floppy"),
    ("/floppy",),
])
def test_interrupt_unmounts_target_and_floppy_before_waiting(make_root, run, mounted):
    root = make_root(blocking_modules=("hid",))
    session = run(root, mounts=mounted)
    wait_until(lambda: ["insmod", "hid"] in root.calls())
    assert set(mounted) <= session.mount_points()
    session.type(CTRL_C)
    session.expect("Installation aborted\r\n" + REBOOT_PROMPT)
    # The boot partition goes first: the target below it could not be unmounted while it is there.
    wait_until(lambda: not set(mounted) & session.mount_points(), seconds=5)
    session.type(ENTER)
    assert session.wait_for_end()


def test_flow_end_unmounts_floppy_and_target_before_waiting(make_root, run):
    session = run(make_root(), mounts=("/mnt", "/floppy"))
    session.expect(REBOOT_PROMPT)
    seen = session.mount_points()
    assert "/proc" in seen  # setup is still there to be looked at
    assert not {"/mnt", "/floppy"} & seen
    session.type(ENTER)
    assert session.wait_for_end()


def test_interrupt_after_flow_is_ignored(make_root, run):
    session = run(make_root())
    session.expect(REBOOT_PROMPT)
    session.type(CTRL_C)
    session.type(ENTER)
    assert session.rest() == b"\x1b[?25h\r\nRebooting...\r\n"


@pytest.mark.parametrize("virtual_console, background_output", [
    (True, "".join("insmod: %s\n" % module for module in BASE_MODULES)),
    (False, ""),
])
def test_console_choice_routes_background_output(make_root, run, virtual_console, background_output):
    root = make_root(virtual_console=virtual_console)
    session = run(root)
    session.expect(WELCOME % "floppy installation")
    session.expect(REBOOT_PROMPT)
    session.type(ENTER)
    assert session.wait_for_end()
    assert root.background_output() == background_output


def test_end_of_input_at_prompt_reboots_without_hanging(make_root, run):
    session = run(make_root(), stdin_at_end=True)
    session.expect(REBOOT_PROMPT)
    assert session.rest().endswith(b"Rebooting...\r\n")


def test_harness_refuses_setup_outside_new_pid_namespace(make_root):
    root = make_root()
    launcher = [harness.sys.executable, harness.__file__, "--launch", root.path,
                harness.pid_namespace(), "--"]
    for prefix in ([], ["unshare", "--mount"]):
        result = harness.subprocess.run(prefix + launcher, capture_output=True, text=True, timeout=30)
        assert result.returncode == 2
        assert "refusing" in result.stderr
    assert root.calls() == []
