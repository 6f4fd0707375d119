#!/usr/bin/python3
"""Network installation throughput against TFTP over the same veth pair, in the same run.

One package of 32 MiB goes from the server role (`setup` in CD-ROM mode) to the client role (`setup`
in "net" mode, whose installer only reads its input), each `setup` the first process of its own
namespaces as in tests/e2e/netinstall_harness. Measured on the server's screen: the time from
"Transfering: system.vrp..." to the announcement of the configuration. Then the same file is
fetched with atftp from atftpd (blksize 1468: one 1,500-byte packet per block, one block in flight,
as our protocol) over the same link, given IPv4 addresses for it. Five pairs each, the side that
goes first alternating:
- on a quiet machine;
- loaded as two machines: each end, with the processes it starts, on a core of its own, and one
  spinning process on each core (a server and a router that are both busy);
- loaded with the ends where the scheduler puts them (printed, not judged: on one host both tools
  swing between two speeds with whether their two ends share a core, a same-core hand-off taking
  a fraction of a cross-core wake-up, and our router's installer is a third busy process to place).
Also: the transfer with 1% and with 5% of the datagrams dropped in each direction, each against a
run without loss just before it, and the peak memory of both roles for a package of 4 MiB against
32 MiB. Needs root, atftpd, atftp, nft and taskset.
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
sys.path.insert(0, str(HERE))
os.environ.setdefault("ROUTER_BUILD_DIR", str(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()))

import bench_common as bench  # noqa: E402
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


def pin(pid, core):
    """Puts a process and every process below it on one core; those it starts later inherit it."""
    os.sched_setaffinity(pid, {core})
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/children" % (pid, task)) as stream:
            for child in stream.read().split():
                pin(int(child), core)


def our_transfer(work, package, loss=0, cores=None):
    """Seconds for the package's blocks, and the peak KiB of server and router. `cores`: the server's
    and the router's core, or None to leave them to the scheduler."""
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
        server.expect("cancel and reboot.")
        if cores is not None:
            pin(server.child.pid, cores[0])
            pin(router.child.pid, cores[1])
        if loss:
            segment.drop("server", loss)
            segment.drop("router", loss)
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
        net.tear_down(sessions, loops, segment, roots)


def on_core(core):
    """The prefix that runs a command on one core, or none."""
    return [] if core is None else ["taskset", "-c", str(core)]


def tftp_transfer(work, package, cores=None):
    served = pathlib.Path(work) / "tftp"
    served.mkdir(exist_ok=True)
    (served / "system.vrp").write_bytes(package)
    segment = net.segment(("server", "router"))
    daemon = None
    server_core, client_core = cores or (None, None)
    try:
        for machine, address in (("server", "10.9.0.1/24"), ("router", "10.9.0.2/24")):
            namespace = segment.namespaces[machine]
            net.run("ip", "-n", namespace, "address", "add", address, "dev", "eth0")
            net.run("ip", "-n", namespace, "link", "set", "eth0", "up")
        daemon = subprocess.Popen(on_core(server_core) + [
            "ip", "netns", "exec", segment.namespaces["server"], "atftpd", "--daemon", "--no-fork", "--user",
            "root.root", "--logfile", "/dev/null", "--bind-address", "10.9.0.1", str(served)])
        time.sleep(2)  # the daemon and the link come up
        started = time.monotonic()
        net.run(*on_core(client_core), "ip", "netns", "exec", segment.namespaces["router"], "atftp", "--option",
                "blksize 1468", "-g", "-r", "system.vrp", "-l", "/dev/null", "10.9.0.1")
        return time.monotonic() - started
    finally:
        if daemon is not None:
            daemon.kill()
            daemon.wait()
        segment.remove()


class machine_load:
    """One spinning process per core for the duration: the loaded machine of a busy build host.
    `pinned`: each spinner stays on its core."""

    def __init__(self, pinned=False):
        self.pinned = pinned

    def __enter__(self):
        self.spinners = [subprocess.Popen(on_core(core if self.pinned else None) +
                                          ["/usr/bin/python3", "-c", "while True: pass"])
                         for core in range(os.cpu_count() or 1)]
        return self

    def __exit__(self, *exc):
        for spinner in self.spinners:
            spinner.kill()
            spinner.wait()


def paired_throughput(work, package, runs, cores=None):
    """Throughput ratios ours/tftp over `runs` pairs, the side that goes first alternating."""
    ratios = []
    for run in range(runs):
        if run % 2 == 0:
            ours, _ = our_transfer(work, package, cores=cores)
            tftp = tftp_transfer(work, package, cores)
        else:
            tftp = tftp_transfer(work, package, cores)
            ours, _ = our_transfer(work, package, cores=cores)
        ratios.append(tftp / ours)
    return ratios


def main():
    runs = 5
    with tempfile.TemporaryDirectory() as work:
        package = vrp.raw_package("system", "1.0", files_payload=os.urandom(mib << 20))
        small = vrp.raw_package("system", "1.0", files_payload=os.urandom(4 << 20))
        quiet = paired_throughput(work, package, runs)
        with machine_load(pinned=True):
            two_machines = paired_throughput(work, package, runs, cores=(0, 1 % (os.cpu_count() or 1)))
        with machine_load():
            shared = paired_throughput(work, package, runs)
        # Each loss run against a run without loss just before it.
        slowdowns = {1: [], 5: []}
        for run in range(3):
            for loss in slowdowns:
                clean, _ = our_transfer(work, package)
                lossy, _ = our_transfer(work, package, loss=loss)
                slowdowns[loss].append(lossy / clean)
        _, memory = our_transfer(work, package)
        _, small_memory = our_transfer(work, small)
    print("package: %.1f MiB; tftp with blksize 1468, one block in flight as ours" % (len(package) / (1 << 20)))
    print("throughput ours/tftp per pair, quiet: %s" % " ".join("%.2f" % ratio for ratio in quiet))
    print("throughput ours/tftp per pair, loaded as two machines (a core and a spinner each): %s" %
          " ".join("%.2f" % ratio for ratio in two_machines))
    print("throughput ours/tftp per pair, %d spinning processes, ends placed by the scheduler (not judged): %s" %
          (os.cpu_count() or 1, " ".join("%.2f" % ratio for ratio in shared)))
    print("peak memory, server/router: %d/%d KiB for %d MiB, %d/%d KiB for 4 MiB" %
          (memory[0], memory[1], mib, small_memory[0], small_memory[1]))
    # Every pair must be at least even, not just the median: its lowest is what is judged.
    bench.summary("ratio tftp time/ours, the slowest of the quiet pairs", [min(quiet)], 1.0, ">=")
    bench.summary("ratio tftp time/ours, the slowest of the pairs loaded as two machines", [min(two_machines)], 1.0,
                  ">=")
    bench.summary("ratio time with 1% loss each way/without", slowdowns[1], 2.0, "<=")
    bench.summary("ratio time with 5% loss each way/without", slowdowns[5], 4.0, "<=")
    growth = max(memory[0] / small_memory[0], memory[1] / small_memory[1])
    bench.summary("ratio peak memory %d MiB/4 MiB" % mib, [growth], 1.1, "<=")


if __name__ == "__main__":
    main()
