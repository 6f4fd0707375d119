"""Network installation between real network stacks: `setup` processes, each the first process of
its own PID, mount and network namespaces (see setup_harness), on one Ethernet segment whose
interfaces carry no IPv4 address.

* `segment` makes the network namespaces and joins them: two by a veth pair, more through a bridge
  in a namespace of its own. Every machine sees its end as "eth0". It can drop and repeat datagrams
  at random with nftables, and cut a machine's link for good.
* `server_root` is an installation root in CD-ROM mode whose CD in "/dev/hdb" is a package folder:
  the host kernel has no ISO 9660 driver, so a preloaded stand-in (cdrom_stand_in.c) turns the
  CD-ROM mount into a read-only bind mount of that folder.
* `router_root` is an installation root in "net" mode whose "/dev/hda1" is a loop device over a
  fresh ext3 image, and whose "/sbin/installer" keeps each run's input in "/input.installer.N"
  before passing it to the real `installer` (or only keeps its SHA-256, for very large packages).

Everything here needs root; the caller removes what it made with `remove()`.
"""

import hashlib
import os
import shutil
import stat
import subprocess
import time
import uuid

import setup_harness as harness

GEOMETRY = "/dev/hda: 100 cylinders, 16 heads, 63 sectors/track"
TARGET_IMAGE_SIZE = 64 << 20


def run(*command, check=True):
    return subprocess.run([str(part) for part in command], check=check, capture_output=True, text=True)


class segment:
    def __init__(self, machines):
        tag = uuid.uuid4().hex[:6]
        self.namespaces = {name: "ni%s%s" % (tag, name) for name in machines}
        self.switch = None
        for namespace in self.namespaces.values():
            run("ip", "netns", "add", namespace)
        if len(machines) == 2:
            first, second = (self.namespaces[name] for name in machines)
            run("ip", "link", "add", "eth0", "netns", first, "type", "veth", "peer", "name", "eth0",
                "netns", second)
        else:
            self.switch = "ni%sswitch" % tag
            run("ip", "netns", "add", self.switch)
            run("ip", "-n", self.switch, "link", "add", "br0", "type", "bridge")
            run("ip", "-n", self.switch, "link", "set", "br0", "up")
            for index, namespace in enumerate(self.namespaces.values()):
                port = "port%d" % index
                run("ip", "link", "add", "eth0", "netns", namespace, "type", "veth", "peer", "name", port,
                    "netns", self.switch)
                run("ip", "-n", self.switch, "link", "set", port, "master", "br0")
                run("ip", "-n", self.switch, "link", "set", port, "up")

    def nft(self, machine, script):
        subprocess.run(["ip", "netns", "exec", self.namespaces[machine], "nft", "-f", "-"], input=script,
                       text=True, check=True, capture_output=True)

    def drop(self, machine, percent):
        """Drops that share of the protocol datagrams that reach the machine, at random. (On their
        way in: a datagram dropped on its way out would fail its sender's send, which a lossy wire
        never does.)"""
        self.nft(machine, "table inet loss {\n chain in {\n  type filter hook input priority 0;\n"
                          "  udp dport 5000 numgen random mod 100 < %d drop\n }\n}\n" % percent)

    def repeat(self, machine, percent):
        """Sends that share of the machine's protocol datagrams twice, at random."""
        self.nft(machine, "table netdev repeat {\n chain out {\n"
                          "  type filter hook egress device eth0 priority 0;\n"
                          "  meta protocol ip udp dport 5000 numgen random mod 100 < %d dup to eth0\n"
                          " }\n}\n" % percent)

    def cut(self, machine):
        """Takes the machine's cable away for good (the whole veth pair goes)."""
        run("ip", "-n", self.namespaces[machine], "link", "del", "eth0")

    def reconnect(self):
        """A new cable between the two machines after a cut: new interfaces under the old names."""
        first, second = self.namespaces.values()
        run("ip", "link", "add", "eth0", "netns", first, "type", "veth", "peer", "name", "eth0", "netns", second)

    def python(self, machine, script, *arguments):
        """Runs a Python script on the machine (in the background); the caller stops it."""
        return subprocess.Popen(["ip", "netns", "exec", self.namespaces[machine], "/usr/bin/python3", "-c", script]
                                + [str(argument) for argument in arguments])

    def mac(self, machine):
        output = run("ip", "-n", self.namespaces[machine], "-o", "link", "show", "eth0").stdout
        return output.split("link/ether ")[1].split()[0].upper()


    def remove(self):
        for namespace in list(self.namespaces.values()) + ([self.switch] if self.switch else []):
            run("ip", "netns", "del", namespace, check=False)


# Broadcasts to the installation port from another port, as other programs on a segment do:
# argument 1 is the number of datagrams a second.
FOREIGN_SENDER = """
import socket, sys, time
sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sender.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
sender.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, b"eth0")
sender.bind(("", 6000))
while True:
    try:
        sender.sendto(b"not for you", ("255.255.255.255", 5000))
    except OSError:
        pass  # the link is not up yet
    time.sleep(1 / float(sys.argv[1]))
"""

# Sends the protocol messages given in hexadecimal as arguments from the installation port, as a
# peer would, without being one: the port is taken, so the UDP header is our own.
MESSAGE_SENDER = """
import socket, struct, sys
sender = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_UDP)
sender.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
sender.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, b"eth0")
for text in sys.argv[1:]:
    payload = bytes.fromhex(text)
    sender.sendto(struct.pack("!HHHH", 5000, 5000, 8 + len(payload), 0) + payload, ("255.255.255.255", 0))
"""


def message(source, destination, sequence, payload, acknowledgement=None, kind=0):
    """A protocol datagram in hexadecimal; MACs as "AA:BB:..."."""
    flags = 0 if acknowledgement is None else 1
    header = (bytes.fromhex(source.replace(":", "")) + bytes.fromhex(destination.replace(":", ""))
              + bytes([flags, kind]) + len(payload).to_bytes(2, "little") + sequence.to_bytes(2, "little")
              + (acknowledgement or 0).to_bytes(2, "little"))
    return (header + payload).hex()


class loop_devices:
    """Loop devices over image files, shown inside installation roots as block device nodes."""

    def __init__(self):
        self.devices = []

    def attach(self, image, root, node):
        device = run("losetup", "--find", "--show", image).stdout.strip()
        self.devices.append(device)
        os.mknod(root.file(node), 0o660 | stat.S_IFBLK, os.stat(device).st_rdev)
        return device

    def remove(self):
        for device in self.devices:
            run("losetup", "-d", device, check=False)


def geometry_stand_in():
    return "\n".join([
        "#!/bin/sh",
        'echo "sfdisk $*" >> %s' % harness.CALL_LOG,
        '[ "$1" = "-g" ] && echo "%s"' % GEOMETRY,
        "/bin/busybox cat > /dev/null",
        "exit 0"]) + "\n"


def installer_stand_in(keep_input, fail_run=None, linger=0):
    """Numbers each run; keeps its input and passes it on to the real installer, or keeps only the
    input's SHA-256 (keep_input "sha256"), or throws it away (keep_input "discard"). Run number
    `fail_run` exits 1 afterwards, as installer does when it fails a package. The first run takes
    `linger` more seconds after its input has ended, as a slow install script would."""
    lines = ["#!/bin/sh",
             'echo "installer $*" >> %s' % harness.CALL_LOG,
             "n=$(/bin/busybox cat /runs 2>/dev/null || echo 0)",
             "n=$((n + 1))",
             "echo $n > /runs"]
    if keep_input == "discard":
        lines.append("/bin/busybox cat > /dev/null")
    elif keep_input == "sha256":
        lines.append("/bin/busybox sha256sum > /input.installer.$n")
    else:
        lines.append('/bin/busybox tee /input.installer.$n | /sbin/installer.real "$@" > /installer.out.$n 2>&1')
    if fail_run is not None:
        lines.append('[ $n = %d ] && exit 1' % fail_run)
    if linger:
        lines.append("[ $n = 1 ] && /bin/busybox sleep %d" % linger)
    return "\n".join(lines + ["exit 0"]) + "\n"


def preload_cdrom_stand_in(root):
    library = root.file("lib/cdrom_stand_in.so")
    run("gcc", "-shared", "-fPIC", "-O2", "-o", library, os.path.join(harness.HERE, "cdrom_stand_in.c"), "-ldl")
    preload = ["/lib/cdrom_stand_in.so"]
    # A sanitizer runtime must still come first.
    preload = [path for path in harness.shared_libraries(harness.setup_binary(root.build_dir))
               if "libasan" in path] + preload
    os.makedirs(root.file("etc"), exist_ok=True)
    root.write("etc/ld.so.preload", "\n".join(preload) + "\n")


def add_disk_stand_ins(root):
    root.write("sbin/sfdisk", geometry_stand_in(), mode=0o755)
    with open(root.file("dev/hda"), "wb") as disk:
        disk.truncate(1 << 20)


def server_root(package_folder, build_dir=None):
    root = harness.installation_root(build_dir, type_text="cdrom\n")
    add_disk_stand_ins(root)
    shutil.copytree(package_folder, root.file("cdrom"), copy_function=os.link)
    open(root.file("dev/hdb"), "w").close()
    preload_cdrom_stand_in(root)
    return root


def router_root(loops, work, build_dir=None, keep_input=True, **target):
    root = harness.installation_root(build_dir, type_text="net\n")
    add_disk_stand_ins(root)
    add_target(root, loops, work, keep_input, **target)
    return root


def add_target(root, loops, work, keep_input=True, image_size=TARGET_IMAGE_SIZE, fail_run=None, linger=0):
    """A fresh ext3 image as the root's "/dev/hda1", and the installer stand-in over the real one."""
    root.target_image = os.path.join(work, "disk-%s.ext3" % uuid.uuid4().hex[:6])
    with open(root.target_image, "wb") as disk:
        disk.truncate(image_size)
    run("mkfs.ext3", "-q", "-F", root.target_image)
    loops.attach(root.target_image, root, "dev/hda1")
    installer = os.path.join(root.build_dir, "installer", "installer")
    shutil.copy2(installer, root.file("sbin/installer.real"))
    for library in harness.shared_libraries(installer):
        os.makedirs(os.path.dirname(root.file(library)), exist_ok=True)
        if not os.path.exists(root.file(library)):
            shutil.copy2(library, root.file(library))
    root.write("sbin/installer", installer_stand_in(keep_input, fail_run, linger), mode=0o755)


def tear_down(sessions, loops, segment, roots):
    """Ends a rig of setup sessions on a segment: the sessions, then (once their namespaces' mounts
    are gone with their last process) the loop devices, the segment and the roots."""
    for session in sessions:
        session.stop()
    time.sleep(0.2)
    loops.remove()
    segment.remove()
    for root in roots:
        root.remove()


def installer_inputs(root):
    """What each installer run of the router was given, in order (bytes, or SHA-256 text)."""
    inputs = []
    for number in range(1, 1000):
        path = root.file("input.installer.%d" % number)
        if not os.path.exists(path):
            return inputs
        with open(path, "rb") as stream:
            inputs.append(stream.read())
    return inputs


def target_file(root, path):
    """A file of the router's new file system, read from its image once the router has ended."""
    result = subprocess.run(["debugfs", "-R", "cat %s" % path, root.target_image], capture_output=True)
    return result.stdout


def target_listing(root, path):
    """The names in a folder of the router's new file system, "." and ".." left out."""
    result = run("debugfs", "-R", "ls -p %s" % path, root.target_image, check=False)
    names = [line.split("/")[5] for line in result.stdout.splitlines() if line.startswith("/")]
    return sorted(name for name in names if name not in (".", ".."))


def sha256_line(data):
    return ("%s  -\n" % hashlib.sha256(data).hexdigest()).encode()
