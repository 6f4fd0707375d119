#!/usr/bin/python3
"""Network installation throughput against TFTP over the same veth pair, in the same run.

One package of 32 MiB goes from the server role (`setup` in CD-ROM mode) to the client role (`setup`
in "net" mode, whose installer only reads its input), each `setup` the first process of its own
namespaces as in tests/e2e/netinstall_harness. Measured on the server's screen: the time from
"Transfering: system.vrp..." to the announcement of the configuration. Then the same file is
fetched with atftp from atftpd (blksize 1468: one 1,500-byte packet per block, one block in flight,
as our protocol) over the same link, given IPv4 addresses for it. Also: the same transfer with 1%
of the datagrams dropped in each direction, and the peak memory of both roles for a package of
4 MiB against 32 MiB. Needs root, atftpd, atftp and nft.
Usage: netinstall_bench.py BUILD_DIR [MIB]
"""
import os
import pathlib
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "e2e"))
os.environ.setdefault("ROUTER_BUILD_DIR", str(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()))

import netinstall_harness as net  # noqa: E402
import setup_harness as harness  # noqa: E402
import vrp  # noqa: E402

build = os.environ["ROUTER_BUILD_DIR"]
mib = int(sys.argv[2]) if len(sys.argv) > 2 else 32


def peak_kib(session):
    """VmHWM of the session's `setup` (the first process of its namespace)."""
    with open("/proc/%d/task/%d/children" % (session.child.pid, session.child.pid)) as stream:
        first = int(stream.read().split()[0])
    with open("/proc/%d/status" % first) as stream:
        for line in stream:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def our_transfer(work, package, loss=0):
    """Seconds for the package's blocks, and the peak KiB of server and router."""
    folder = pathlib.Path(work) / ("cd-%d" % time.monotonic_ns())
    folder.mkdir()
    (folder / "system.vrp").write_bytes(package)
    segment = net.segment(("server", "router"))
    loops = net.loop_devices()
    roots, sessions = [], []
    try:
        router_root = net.router_root(loops, work, build, keep_input="discard")
        server_root = net.server_root(str(folder), build)
        roots += [router_root, server_root]
        router = harness.setup_session(router_root, timeout=600, network_namespace=segment.namespaces["router"])
        sessions.append(router)
        router.expect("Waiting for installation server...")
        server = harness.setup_session(server_root, timeout=600, network_namespace=segment.namespaces["server"])
        sessions.append(server)
        if loss:
            segment.drop("server", loss)
            segment.drop("router", loss)
        server.expect("cancel and reboot.")
        server.type("ar")
        server.expect("Found 1 router: ")
        server.type("\n")
        server.expect("Keep config? [y/n]:")
        server.type("y")
        server.expect("Transfering: system.vrp...\r\n")
        started = time.monotonic()
        server.expect("Transfering: configuration...")
        seconds = time.monotonic() - started
        server.expect("Press ENTER to reboot\r\n")
        router.expect("Press ENTER to reboot\r\n")
        memory = (peak_kib(server), peak_kib(router))
        router.type("\n")
        router.wait_for_end()
        return seconds, memory
    finally:
        for session in sessions:
            session.stop()
        time.sleep(0.2)
        loops.remove()
        segment.remove()
        for root in roots:
            root.remove()


def tftp_transfer(work, package):
    served = pathlib.Path(work) / "tftp"
    served.mkdir(exist_ok=True)
    (served / "system.vrp").write_bytes(package)
    segment = net.segment(("server", "router"))
    daemon = None
    try:
        for machine, address in (("server", "10.9.0.1/24"), ("router", "10.9.0.2/24")):
            namespace = segment.namespaces[machine]
            net.run("ip", "-n", namespace, "address", "add", address, "dev", "eth0")
            net.run("ip", "-n", namespace, "link", "set", "eth0", "up")
        daemon = subprocess.Popen(["ip", "netns", "exec", segment.namespaces["server"], "atftpd", "--daemon",
                                   "--no-fork", "--user", "root.root", "--logfile", "/dev/null",
                                   "--bind-address", "10.9.0.1", str(served)])
        time.sleep(2)  # the daemon and the link come up
        started = time.monotonic()
        net.run("ip", "netns", "exec", segment.namespaces["router"], "atftp", "--option", "blksize 1468",
                "-g", "-r", "system.vrp", "-l", "/dev/null", "10.9.0.1")
        return time.monotonic() - started
    finally:
        if daemon is not None:
            daemon.kill()
            daemon.wait()
        segment.remove()


def main():
    with tempfile.TemporaryDirectory() as work:
        package = vrp.raw_package("system", "1.0", files_payload=os.urandom(mib << 20))
        small = vrp.raw_package("system", "1.0", files_payload=os.urandom(4 << 20))
        ours, memory = our_transfer(work, package)
        tftp = tftp_transfer(work, package)
        lossy, _ = our_transfer(work, package, loss=1)
        _, small_memory = our_transfer(work, small)
    size = len(package) / (1 << 20)
    print("package: %.1f MiB" % size)
    print("ours: %.2f s (%.1f MiB/s)   tftp blksize 1468: %.2f s (%.1f MiB/s)" % (ours, size / ours, tftp, size / tftp))
    print("ours with 1%% loss each way: %.2f s (%.1f MiB/s)" % (lossy, size / lossy))
    print("peak memory, server/router: %d/%d KiB for %d MiB, %d/%d KiB for 4 MiB" %
          (memory[0], memory[1], mib, small_memory[0], small_memory[1]))
    throughput = tftp / ours
    print("ratio throughput ours/tftp %.2f (target >= 1.00) %s" % (throughput, "ok" if throughput >= 1 else "OVER"))
    print("ratio time with 1%% loss/without %.2f (reported)" % (lossy / ours))
    growth = max(memory[0] / small_memory[0], memory[1] / small_memory[1])
    print("ratio peak memory %d MiB/4 MiB %.2f (target <= 1.10) %s" % (mib, growth, "ok" if growth <= 1.1 else "OVER"))


if __name__ == "__main__":
    main()
