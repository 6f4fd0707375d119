"""Boots the installation system in qemu-system-i386 with a raw disk image and the serial line
connected to the test, and reads disk images from outside afterwards."""
import gzip
import io
import os
import select
import shutil
import struct
import subprocess
import tempfile
import time

SECTOR = 512


def _cpio_entry(name, mode, data=b"", device=(0, 0)):
    fields = [0, mode, 0, 0, 1, 0, len(data), 0, 0, device[0], device[1], len(name) + 1, 0]
    header = b"070701" + b"".join(b"%08x" % value for value in fields)
    entry = header + name.encode() + b"\0"
    entry += b"\0" * (-len(entry) % 4)
    entry += data + b"\0" * (-len(data) % 4)
    return entry


def overlay_archive(files):
    """A gzip'd newc archive of {path: (mode, bytes)}; appended to the initramfs, its files
    replace those of the same name."""
    archive = io.BytesIO()
    directories = set()
    for path in sorted(files):
        parts = path.strip("/").split("/")
        for depth in range(1, len(parts)):
            directory = "/".join(parts[:depth])
            if directory not in directories:
                directories.add(directory)
                archive.write(_cpio_entry(directory, 0o40755))
        mode, data = files[path]
        archive.write(_cpio_entry(path.strip("/"), 0o100000 | mode, data))
    archive.write(_cpio_entry("TRAILER!!!", 0))
    return gzip.compress(archive.getvalue())


class machine_run:
    """One boot: the serial output, and whether the machine stopped by itself."""

    def __init__(self, output, finished, seconds, raw=b"", arrivals=()):
        self.output = output
        self.finished = finished
        self.seconds = seconds
        self.raw = raw
        # (seconds since the start, length of the raw output so far) for each piece that arrived
        self.arrivals = list(arrivals)

    def seconds_at(self, text):
        """When the first appearance of `text` was complete, in seconds from the start; None when
        it never appeared."""
        found = self.raw.find(text.encode())
        if found < 0:
            return None
        return next(seconds for seconds, length in self.arrivals if length >= found + len(text.encode()))

    def values(self):
        """The "TEST: key=value ..." lines of the driver as one dictionary."""
        result = {}
        for line in self.output.splitlines():
            line = line.strip()
            if line.startswith("TEST: "):
                for pair in line[6:].split():
                    if "=" in pair:
                        key, value = pair.split("=", 1)
                        result[key] = value
        return result


def boot(media, overlay_files, disk=None, timeout=240, answers=(), second_disk=None, cdrom=None,
         arguments="", initramfs="initramfs.cpio.gz", echo=None, network=None):
    """Boots the media's kernel and an initramfs plus an overlay, with `disk` as the primary IDE
    master, `second_disk` as the primary slave and the image `cdrom` in a CD-ROM drive as the
    secondary master. `arguments` go on the kernel command line (and on to the first process).
    `answers` are (text to wait for, text to type) pairs, sent in order. `echo`, when given, is
    called with each piece of serial output as it arrives. `network`, a named network namespace and
    a tap device in it (and optionally the card's MAC address), gives the machine an Ethernet card on
    that tap (qemu then runs in that namespace)."""
    with tempfile.TemporaryDirectory() as scratch:
        initrd = os.path.join(scratch, "initrd")
        with open(initrd, "wb") as out:
            with open(os.path.join(media, initramfs), "rb") as base:
                shutil.copyfileobj(base, out)
            out.write(overlay_archive(overlay_files))
        if network:
            tap = network[1]
            # Machines on one segment need addresses of their own; qemu gives every card the same.
            mac = f",mac={network[2]}" if len(network) > 2 else ""
            card = ["-netdev", f"tap,id=net0,ifname={tap},script=no,downscript=no",
                    "-device", f"e1000,netdev=net0{mac}"]
        else:
            card = ["-nic", "none"]
        command = ["qemu-system-i386", "-M", "pc", "-m", "128", *card, "-display", "none", "-monitor", "none",
                   "-serial", "stdio", "-no-reboot", "-kernel", os.path.join(media, "vmlinuz"),
                   "-initrd", initrd, "-append", f"console=ttyS0 loglevel=1 panic=-1 {arguments}".strip()]
        if disk:
            command += ["-drive", f"file={disk},format=raw,if=ide,index=0"]
        if second_disk:
            command += ["-drive", f"file={second_disk},format=raw,if=ide,index=1"]
        if cdrom:
            command += ["-drive", f"file={cdrom},format=raw,if=ide,index=2,media=cdrom,readonly=on"]
        if network:
            command = ["nsenter", f"--net=/run/netns/{network[0]}"] + command
        return converse(command, answers, timeout, echo)


def converse(command, answers=(), timeout=240, echo=None):
    """Runs a machine with its serial line on standard input and output. `answers` are (text to
    wait for, text to type) pairs, sent in order; `echo`, when given, is called with each piece of
    serial output as it arrives."""
    started = time.monotonic()
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = b""
    arrivals = []
    pending = list(answers)
    # Each text is looked for after the one answered before it, so that a screen that shows the
    # same text twice is answered twice.
    searched_from = 0
    finished = False
    try:
        while time.monotonic() - started < timeout:
            ready, _, _ = select.select([process.stdout], [], [], 1)
            if ready:
                chunk = os.read(process.stdout.fileno(), 65536)
                if not chunk:
                    break
                output += chunk
                arrivals.append((time.monotonic() - started, len(output)))
                if echo:
                    echo(chunk)
                while pending and output.find(pending[0][0].encode(), searched_from) >= 0:
                    wanted, keys = pending.pop(0)
                    searched_from = output.find(wanted.encode(), searched_from) + len(wanted.encode())
                    process.stdin.write(keys.encode())
                    process.stdin.flush()
        finished = process.wait(timeout=5) is not None
    except subprocess.TimeoutExpired:
        pass
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    return machine_run(output.decode(errors="replace").replace("\r", ""), finished, time.monotonic() - started,
                       output, arrivals)


def disk_command(disk):
    """qemu's command line for a machine that starts from `disk` through its BIOS, serial line on
    standard input and output."""
    return ["qemu-system-i386", "-M", "pc", "-m", "128", "-nic", "none", "-display", "none", "-monitor", "none",
            "-serial", "stdio", "-no-reboot", "-drive", f"file={disk},format=raw,if=ide,index=0"]


def boot_disk(disk, answers=(), timeout=240, echo=None):
    """Starts a machine from the disk image alone, as a router starts; `answers` and `echo` are
    those of `converse`."""
    return converse(disk_command(disk), answers, timeout, echo)


def sparse_image(path, size):
    with open(path, "wb") as image:
        image.truncate(size)


def partition_entries(image):
    """The four entries of the first sector: (status, type, first sector, sector count)."""
    with open(image, "rb") as disk:
        sector = disk.read(SECTOR)
    entries = []
    for index in range(4):
        raw = sector[446 + 16 * index: 462 + 16 * index]
        entries.append((raw[0], raw[4], struct.unpack_from("<I", raw, 8)[0], struct.unpack_from("<I", raw, 12)[0]))
    return entries


def first_sector(image):
    with open(image, "rb") as disk:
        return disk.read(SECTOR)


def extract_partition(image, first, count, path):
    """Copies one partition into a file of its own, keeping holes, for debugfs."""
    with open(image, "rb") as disk, open(path, "wb") as out:
        disk.seek(first * SECTOR)
        left = count * SECTOR
        out.truncate(left)
        while left:
            block = disk.read(min(left, 1 << 20))
            if not block:
                break
            if block.count(0) != len(block):
                out.write(block)
            else:
                out.seek(len(block), 1)
            left -= len(block)


def debugfs(file_system, request):
    result = subprocess.run(["debugfs", "-R", request, file_system], capture_output=True, text=True)
    return result.stdout


def file_system_features(file_system):
    output = subprocess.run(["dumpe2fs", "-h", file_system], capture_output=True, text=True).stdout
    for line in output.splitlines():
        if line.startswith("Filesystem features:"):
            return set(line.split(":", 1)[1].split())
    return set()


def inode_status(file_system, path):
    """Type, mode bits, owner, group, access and modification seconds of a path, or None."""
    output = debugfs(file_system, f"stat {path}")
    if "Type:" not in output:
        return None
    values = {}
    for token_line in output.splitlines():
        words = token_line.replace(":", " : ").split()
        for key in ("Type", "Mode", "User", "Group", "atime", "mtime"):
            if key in words:
                position = words.index(key)
                if position + 2 < len(words) and key not in values:
                    values[key] = words[position + 2]
    return {
        "type": values.get("Type"),
        "mode": int(values["Mode"], 8),
        "owner": int(values["User"]),
        "group": int(values["Group"]),
        "atime": int(values["atime"].split(":")[0], 16),
        "mtime": int(values["mtime"].split(":")[0], 16),
    }


def _drain(connection):
    """Reads away the monitor's echo so that its buffer never fills up."""
    connection.setblocking(False)
    try:
        while connection.recv(65536):
            pass
    except OSError:
        pass
    connection.settimeout(2)


def boot_bios_disk(image, wanted, timeout=30):
    """Boots the disk image through the BIOS, with a debug-exit port and the serial line on a
    pipe. Returns (screen text, serial output, qemu's exit code or None) once any text of
    `wanted` is on the screen or the serial line, or the machine has stopped, or time is up."""
    import socket
    with tempfile.TemporaryDirectory() as scratch:
        monitor_path = os.path.join(scratch, "monitor")
        screen_path = os.path.join(scratch, "screen")
        command = ["qemu-system-i386", "-M", "pc", "-m", "16", "-nic", "none", "-display", "none", "-serial", "stdio",
                   "-monitor", f"unix:{monitor_path},server,nowait", "-no-reboot", "-boot", "c",
                   "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04",
                   "-drive", f"file={image},format=raw,if=ide,index=0"]
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        started = time.monotonic()
        serial, screen = b"", ""
        monitor = None
        try:
            while time.monotonic() - started < timeout:
                ready, _, _ = select.select([process.stdout], [], [], 0.5)
                if ready:
                    chunk = os.read(process.stdout.fileno(), 65536)
                    serial += chunk
                    if not chunk:
                        break
                if process.poll() is not None:
                    break
                try:
                    if monitor is None and os.path.exists(monitor_path):
                        monitor = socket.socket(socket.AF_UNIX)
                        monitor.connect(monitor_path)
                        monitor.settimeout(2)
                    if monitor is not None:
                        if os.path.exists(screen_path):
                            os.unlink(screen_path)
                        monitor.sendall(f'pmemsave 0xb8000 4000 "{screen_path}"\n'.encode())
                        deadline = time.monotonic() + 2
                        while not os.path.exists(screen_path) and time.monotonic() < deadline:
                            time.sleep(0.05)
                        time.sleep(0.1)
                        _drain(monitor)
                        if os.path.exists(screen_path):
                            with open(screen_path, "rb") as memory:
                                cells = memory.read()
                            screen = "\n".join(cells[row * 160:(row + 1) * 160:2].decode("latin-1").rstrip()
                                               for row in range(25))
                except OSError:
                    # The machine stopped between the check above and the request: let it finish
                    # exiting, so that its exit code and its last serial output are kept.
                    try:
                        process.wait(timeout=5)
                    except subprocess.TimeoutExpired:
                        pass
                    break
                if any(text in screen or text.encode() in serial for text in wanted):
                    break
        finally:
            if monitor is not None:
                monitor.close()
            if process.poll() is None:
                time.sleep(0.2)
            if process.poll() is None:
                process.kill()
            process.wait()
            # What the machine wrote just before it stopped may still be in the pipe.
            serial += process.stdout.read()
        return screen, serial.decode(errors="replace"), process.returncode
