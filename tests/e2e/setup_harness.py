#!/usr/bin/python3
"""Runs the real `setup` binary as the first process of a throw-away installation system.

`setup` mounts, unmounts and finally restarts the machine. Here it runs as PID 1 of new PID and mount
namespaces (`unshare --pid --mount --fork`), changed into a temporary installation root, so that its
restart only ends the namespace. The root holds `setup` with the libraries it needs, a static shell,
and stand-ins for "/sbin/insmod", "/sbin/sfdisk", "/sbin/mke2fs", "/sbin/fsck" and "/sbin/installer"
that record every call in "/calls.log" (one line: the program's name and its arguments, separated by
blanks) and keep what was piped into them in "/input.NAME". Its standard streams are a pseudo-terminal that the caller types into and reads from.

By hand (as root):

    python3 tests/e2e/setup_harness.py [--build DIR] [--type TEXT] [--serial] [--as-init]
                                       [--keep] [-- SETUP-ARGUMENTS...]

Only the launcher step (`--launch`, run by the harness inside the namespaces) ever starts `setup`, and
it refuses unless it really is PID 1 of a PID namespace other than the harness's own.
"""

import argparse
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile

import pexpect

HERE = os.path.dirname(os.path.abspath(__file__))
SHELL = "/bin/busybox"  # Debian's busybox-static
STAND_INS = ("insmod", "sfdisk", "mke2fs", "fsck", "installer")
CALL_LOG = "/calls.log"
PARENT_LOG = "/parents.log"  # the process id of each stand-in's caller
SCREEN = (24, 80)

# Exit of the namespace's first process when `setup` restarts the machine: the kernel ends a PID
# namespace whose init asks for a restart as if that init had been killed by SIGHUP.
RESTART_SIGNAL = signal.SIGHUP

# Control keys as a terminal sends them.
ENTER = "\n"
CTRL_C = "\x03"


def default_build_dir():
    return os.environ.get("ROUTER_BUILD_DIR", os.path.join(HERE, "..", "..", "build"))


def setup_binary(build_dir):
    return os.path.join(build_dir, "setup", "setup")


def pid_namespace():
    return os.readlink("/proc/self/ns/pid")


def shared_libraries(binary):
    """The files the dynamic loader needs for `binary` (nothing for a static one)."""
    result = subprocess.run(["ldd", binary], capture_output=True, text=True)
    paths = []
    for line in result.stdout.splitlines():
        for word in line.split():
            if word.startswith("/") and os.path.exists(word):
                paths.append(word)
    return paths


def stand_in_script(name, blocking):
    """A program that records its call; `blocking` names arguments that make it wait for a while."""
    lines = ["#!/bin/sh",
             'line="%s"' % name,
             'for argument in "$@"; do line="$line $argument"; done',
             'echo "$line" >> %s' % CALL_LOG,
             'echo "$PPID" >> %s' % PARENT_LOG,
             'echo "%s: $*"' % name,
             # What was piped in (a partition table, a package stream) is kept as well.
             '/bin/busybox cat >> /input.%s' % name]
    for argument in blocking:
        lines.append('[ "$1" = "%s" ] && /bin/busybox sleep 60' % argument)
    lines.append("exit 0")
    return "\n".join(lines) + "\n"


class installation_root:
    """A temporary root directory laid out like the installation system."""

    def __init__(self, build_dir=None, type_text=None, virtual_console=True, blocking_modules=(),
                 keep=False):
        self.build_dir = build_dir or default_build_dir()
        self.path = tempfile.mkdtemp(prefix="setup-root-")
        self.keep = keep
        self.virtual_console = virtual_console
        binary = setup_binary(self.build_dir)
        if not os.path.exists(binary):
            raise FileNotFoundError("no setup binary at %s (build the `setup` target)" % binary)
        for directory in ("bin", "sbin", "dev", "proc", "mnt", "floppy", "tmp"):
            os.makedirs(self.file(directory), exist_ok=True)
        shutil.copy2(binary, self.file("sbin/setup"))
        for library in shared_libraries(binary):
            os.makedirs(os.path.dirname(self.file(library)), exist_ok=True)
            shutil.copy2(library, self.file(library))
        shutil.copy2(SHELL, self.file("bin/busybox"))
        os.symlink("busybox", self.file("bin/sh"))
        for name in STAND_INS:
            blocking = blocking_modules if name == "insmod" else ()
            self.write("sbin/" + name, stand_in_script(name, blocking), mode=0o755)
        os.mknod(self.file("dev/null"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        # Plain files stand in for the consoles: tty0 only has to open, tty9 collects what background
        # programs print.
        if virtual_console:
            self.write("dev/tty0", "")
        self.write("dev/tty9", "")
        if type_text is not None:
            self.write("TYPE", type_text)

    def file(self, relative):
        return os.path.join(self.path, relative.lstrip("/"))

    def write(self, relative, text, mode=0o644):
        with open(self.file(relative), "w") as stream:
            stream.write(text)
        os.chmod(self.file(relative), mode)

    def read(self, relative):
        try:
            with open(self.file(relative)) as stream:
                return stream.read()
        except FileNotFoundError:
            return ""

    def calls(self):
        """The recorded stand-in calls, each a list of words."""
        return [line.split(" ") for line in self.read(CALL_LOG).splitlines()]

    def piped_input(self, name):
        """Everything piped into the stand-in `name` so far."""
        return self.read("input." + name)

    def caller_pids(self):
        return [int(line) for line in self.read(PARENT_LOG).split()]

    def background_output(self):
        return self.read("dev/tty9")

    def remove(self):
        if not self.keep:
            shutil.rmtree(self.path, ignore_errors=True)


class setup_session:
    """`setup` running in its namespaces, connected to a pseudo-terminal."""

    def __init__(self, root, arguments=(), program_name="/sbin/setup", stdin_at_end=False,
                 mounts=(), timeout=10, network_namespace=None):
        self.root = root
        launch = [sys.executable, os.path.abspath(__file__), "--launch", root.path, pid_namespace(),
                  "--program-name", program_name]
        for directory in mounts:
            launch += ["--mount-tmpfs", directory]
        if not root.virtual_console:
            launch.append("--serial")
        if stdin_at_end:
            launch.append("--stdin-at-end")
        launch += ["--"] + list(arguments)
        # A namespace's first process ignores the hangup of its terminal: it must go with the
        # session, or a test that fails early leaves it behind.
        command = ["unshare", "--pid", "--mount", "--fork", "--kill-child",
                   "--mount-proc=" + root.file("proc")] + launch
        if network_namespace is not None:
            # A named network namespace (`ip netns add`): setup then sees only its interfaces.
            command = ["nsenter", "--net=/run/netns/" + network_namespace] + command
        self.child = pexpect.spawn(command[0], command[1:], timeout=timeout, dimensions=SCREEN,
                                   env={"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "TERM": "linux"})
        self.transcript = b""

    def expect(self, text):
        """Waits for exact text (str or bytes) on the screen; returns everything read up to its end."""
        wanted = text.encode() if isinstance(text, str) else text
        self.child.expect_exact(wanted)
        seen = self.child.before + self.child.after
        self.transcript += seen
        return seen

    def type(self, keys):
        self.child.send(keys)

    def rest(self):
        """Reads until the namespace ends; returns what was printed meanwhile."""
        self.child.expect(pexpect.EOF)
        self.transcript += self.child.before
        return self.child.before

    def wait_for_end(self):
        """Waits for the namespace to end; True when it ended by a restart."""
        self.rest()
        self.child.close()
        return self.child.signalstatus == RESTART_SIGNAL or \
            self.child.exitstatus == 128 + RESTART_SIGNAL

    def mount_points(self):
        """The mount points `setup` sees, as paths inside its root; empty once it has ended."""
        try:
            with open("/proc/%d/task/%d/children" % (self.child.pid, self.child.pid)) as stream:
                first_process = int(stream.read().split()[0])
            with open("/proc/%d/mountinfo" % first_process) as stream:
                return {line.split(" ")[4] for line in stream}
        except (OSError, IndexError, ValueError):
            return set()

    def stop(self):
        if self.child.isalive():
            self.child.close(force=True)


def screen_text(raw):
    """The printable text of raw terminal output: control sequences dropped, line ends as "\\n"."""
    text = raw.decode("latin-1") if isinstance(raw, bytes) else raw
    out, i = [], 0
    while i < len(text):
        if text[i] == "\x1b" and i + 1 < len(text) and text[i + 1] == "[":
            j = i + 2
            while j < len(text) and not ("@" <= text[j] <= "~"):
                j += 1
            i = j + 1
            continue
        if text[i] not in "\r\x07":
            out.append(text[i])
        i += 1
    return "".join(out)


def launch(arguments):
    """Inside the new namespaces: check them, change into the root and become `setup`."""
    if os.getpid() != 1 or pid_namespace() == arguments.outer_namespace:
        sys.stderr.write("setup_harness: refusing to start setup outside a new PID namespace "
                         "(its restart would restart this machine)\n")
        return 2
    if arguments.serial:
        # The serial line is the terminal we were given. A device node made with mknod would not
        # open (a pseudo-terminal only opens through its own file system), so it is bound in place;
        # the binding lives in our private mount namespace only.
        serial_line = os.path.join(arguments.root, "dev/ttyS0")
        open(serial_line, "w").close()
        subprocess.run(["mount", "--bind", os.ttyname(0), serial_line], check=True)
        # setup must find the line itself: it starts with nothing on its standard streams.
        nothing = os.open("/dev/null", os.O_RDWR)
        for number in (0, 1, 2):
            os.dup2(nothing, number)
        os.close(nothing)
    # File systems that a flow would have mounted, so that unmounting them can be seen; they live in
    # our private mount namespace only.
    for directory in arguments.mount_tmpfs:
        target = os.path.join(arguments.root, directory.lstrip("/"))
        os.makedirs(target, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "tmpfs", target], check=True)
    if arguments.stdin_at_end:
        reading, writing = os.pipe()
        os.close(writing)
        os.dup2(reading, 0)
        os.close(reading)
    os.chroot(arguments.root)
    os.chdir("/")
    for number in (signal.SIGINT, signal.SIGPIPE, signal.SIGCHLD, signal.SIGALRM):
        signal.signal(number, signal.SIG_DFL)
    os.execve("/sbin/setup", [arguments.program_name] + arguments.setup_arguments, {})
    return 127


def run_by_hand(arguments):
    root = installation_root(arguments.build, arguments.type, not arguments.serial,
                             keep=arguments.keep)
    print("installation root: %s" % root.path)
    session = setup_session(root, arguments.setup_arguments,
                            "/sbin/init" if arguments.as_init else "/sbin/setup", timeout=None)
    try:
        session.child.interact()
    except OSError:
        pass  # the namespace ended while we were passing keys
    session.child.close()
    if session.child.signalstatus == RESTART_SIGNAL:
        print("\nsetup restarted the machine (the namespace ended)")
    else:
        print("\nthe namespace ended: exit status %s, signal %s" % (session.child.exitstatus,
                                                                    session.child.signalstatus))
    print("stand-in calls:")
    for call in root.calls():
        print("  " + " ".join(call))
    root.remove()
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--launch", nargs=2, metavar=("ROOT", "OUTER_NAMESPACE"),
                        help=argparse.SUPPRESS)
    parser.add_argument("--program-name", default="/sbin/setup", help=argparse.SUPPRESS)
    parser.add_argument("--stdin-at-end", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--mount-tmpfs", action="append", default=[], help=argparse.SUPPRESS)
    parser.add_argument("--build", default=None, help="build directory (default: $ROUTER_BUILD_DIR "
                        "or build/)")
    parser.add_argument("--type", default=None, help='text of "/TYPE" (for example "cdrom\\n")')
    parser.add_argument("--serial", action="store_true",
                        help='no "/dev/tty0": setup takes the serial line (this terminal)')
    parser.add_argument("--as-init", action="store_true",
                        help='start setup under the name "/sbin/init" (it forks and waits)')
    parser.add_argument("--keep", action="store_true", help="keep the installation root")
    parser.add_argument("setup_arguments", nargs="*", help="arguments for setup")
    arguments = parser.parse_args()
    if arguments.type is not None:
        arguments.type = arguments.type.encode().decode("unicode_escape")
    if arguments.launch:
        arguments.root, arguments.outer_namespace = arguments.launch
        return launch(arguments)
    if os.geteuid() != 0:
        sys.stderr.write("setup_harness: needs root for the namespaces\n")
        return 2
    return run_by_hand(arguments)


if __name__ == "__main__":
    sys.exit(main())
