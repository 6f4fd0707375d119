"""Boots the installation system with a floppy drive whose disk the test changes through the qemu
monitor whenever setup asks for a floppy, and a second serial line that receives the log device."""
import os
import re
import select
import socket
import subprocess
import tempfile
import time

import vm_runner

PROMPT = re.compile(r"Please insert (\S+) installation floppy\.\nPress ENTER when ready\n")


def _devices():
    """Test-only device nodes: an openable /dev/tty0 keeps setup on the kernel console (the first
    serial line), and /dev/tty9, where background output and repair notes go, is the second
    serial line."""
    return (vm_runner._cpio_entry("dev/tty0", 0o20600, device=(1, 3)) +
            vm_runner._cpio_entry("dev/tty9", 0o20600, device=(4, 65)))


class floppy_run:
    def __init__(self, output, log, offers, finished):
        self.output, self.log, self.offers, self.finished = output, log, offers, finished


def boot(media, overlay_files, disk, floppies, answers, timeout=900):
    """`floppies`: (ordinal, image path or None for an empty drive, text that shows the offer was
    taken) in the order setup should see them. When a prompt follows an offer whose text did not
    appear, the same floppy is offered again without a media change (a read that failed after the
    change); `offers` lists (ordinal, image, retried) as they happened."""
    with tempfile.TemporaryDirectory() as scratch:
        initrd = os.path.join(scratch, "initrd")
        with open(initrd, "wb") as out:
            with open(os.path.join(media, "initramfs.cpio.gz"), "rb") as base:
                out.write(base.read())
            out.write(vm_runner.overlay_archive(overlay_files))
            import gzip
            out.write(gzip.compress(_devices() + vm_runner._cpio_entry("TRAILER!!!", 0)))
        monitor_path = os.path.join(scratch, "monitor")
        log_path = os.path.join(scratch, "log")
        command = ["qemu-system-i386", "-M", "pc", "-m", "128", "-nic", "none", "-display", "none",
                   "-monitor", f"unix:{monitor_path},server,nowait", "-serial", "stdio", "-serial", f"file:{log_path}",
                   "-no-reboot", "-kernel", os.path.join(media, "vmlinuz"), "-initrd", initrd,
                   "-append", "console=ttyS0 loglevel=1 panic=-1",
                   "-drive", f"file={disk},format=raw,if=ide,index=0", "-drive", "if=floppy,index=0,id=fd",
                   # An empty drive would otherwise be a 2.88 MB one.
                   "-global", "isa-fdc.fallback=144"]
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        monitor = None
        output, seen = "", 0
        pending, queue = list(answers), list(floppies)
        offers, offered, offered_at, retries = [], None, 0, 0
        started = time.monotonic()

        def send(text):
            process.stdin.write(text.encode())
            process.stdin.flush()

        def command_monitor(line):
            nonlocal monitor
            if monitor is None:
                monitor = socket.socket(socket.AF_UNIX)
                monitor.connect(monitor_path)
                monitor.settimeout(2)
            monitor.sendall((line + "\n").encode())
            time.sleep(0.5)
            vm_runner._drain(monitor)

        try:
            while time.monotonic() - started < timeout:
                ready, _, _ = select.select([process.stdout], [], [], 1)
                if not ready:
                    continue
                chunk = os.read(process.stdout.fileno(), 65536)
                if not chunk:
                    break
                output += chunk.decode(errors="replace").replace("\r", "")
                while pending and pending[0][0] in output[seen:]:
                    seen = output.index(pending[0][0], seen) + len(pending[0][0])
                    send(pending.pop(0)[1])
                for prompt in PROMPT.finditer(output, offered_at):
                    retried = offered is not None and offered[2] not in output[offered_at:prompt.start()]
                    if not retried:
                        if offered is not None:
                            queue.pop(0)
                        if not queue or queue[0][0] != prompt.group(1):
                            raise AssertionError(f"asked for the {prompt.group(1)} floppy: {output[-3000:]}")
                        offered = queue[0]
                        if offered[1] is None:
                            command_monitor("eject -f fd")
                        else:
                            command_monitor(f"change fd {offered[1]} raw")
                    retries = retries + 1 if retried else 0
                    if retries > 5:
                        raise AssertionError(f"the same floppy refused again and again: {output[-3000:]}")
                    offers.append((prompt.group(1), offered[1], retried))
                    offered_at = prompt.end()
                    seen = max(seen, offered_at)
                    send("\r")
                    break
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            pass
        finally:
            if monitor is not None:
                monitor.close()
            if process.poll() is None:
                process.kill()
                process.wait()
        with open(log_path, "rb") as log:
            log_text = log.read().decode(errors="replace").replace("\r", "")
        return floppy_run(output, log_text, offers, process.returncode is not None and process.returncode == 0)
