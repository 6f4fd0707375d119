#!/usr/bin/python3
"""A batch of routers installed at once against one router alone, on one bridged segment.

Each machine is `setup` as the first process of its own namespaces, as in tests/e2e/netinstall_harness;
the routers' installer only reads its input. Measured on the server's screen: from the answer that
starts the installation to the moment every router has all its files (for one router, installed the
usual way: "Software installed."; for a batch: the prompt that follows the last transfer). Also the
server's peak memory for 1 and 8 routers and for a small against a large package.

Every machine here shares this computer's few cores, so on bare veth links a batch only shows how
fast they can run N routers' processes; the routers of a real batch each bring their own CPU. The
ratios are therefore taken with each router's bridge port limited to 10 Mbit/s (tbf), as the card
of a router on a branch network: one router alone then waits for its link, not for a core, as it
does on a real segment. The bare-veth times are printed as well.
Needs root and tc (tbf).
Usage: fleet_bench.py BUILD_DIR [MIB [LARGEST_BATCH]]
"""
import os
import pathlib
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
mib = int(sys.argv[2]) if len(sys.argv) > 2 else 8
largest = int(sys.argv[3]) if len(sys.argv) > 3 else 8
MBIT = 10


def peak_kib(session):
    """VmHWM of the session's `setup` (the first process of its namespace)."""
    with open("/proc/%d/task/%d/children" % (session.child.pid, session.child.pid)) as stream:
        first = int(stream.read().split()[0])
    with open("/proc/%d/status" % first) as stream:
        for line in stream:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def limit_ports(segment, count, mbit):
    """The bridge's ports toward the routers (the server's is port0) pass `mbit` Mbit/s."""
    for index in range(1, count + 1):
        net.run("ip", "netns", "exec", segment.switch, "tc", "qdisc", "add", "dev", "port%d" % index, "root",
                "tbf", "rate", "%dmbit" % mbit, "burst", "3000", "latency", "100ms")


def batch(work, package, count, mbit=None):
    """Seconds until every router has its files, and the server's peak KiB."""
    folder = pathlib.Path(work) / ("cd-%d" % time.monotonic_ns())
    folder.mkdir()
    (folder / "system.vrp").write_bytes(package)
    names = ["router%d" % index for index in range(count)]
    # Always a bridge, also for one router: the same path for every datagram.
    segment = net.segment(["server"] + names + ([] if count > 1 else ["idle"]))
    loops = net.loop_devices()
    roots, sessions = [], []
    try:
        if mbit:
            limit_ports(segment, count, mbit)
        for name in names:
            root = net.router_root(loops, work, build, keep_input="discard")
            roots.append(root)
            session = harness.setup_session(root, timeout=900, network_namespace=segment.namespaces[name])
            sessions.append(session)
            session.expect("Waiting for installation server...")
        server_root = net.server_root(str(folder), build)
        roots.append(server_root)
        server = harness.setup_session(server_root, timeout=900, network_namespace=segment.namespaces["server"])
        sessions.append(server)
        server.expect("cancel and reboot.")
        server.type("ar")
        server.expect("Found %d router%s: " % (count, "" if count == 1 else "s"))
        if count > 1:
            server.type("a")
        server.type("\n")
        server.expect("Keep config? [y/n]:")
        server.type("y")
        started = time.monotonic()
        server.expect("Software installed." if count == 1 else "Press ENTER on each router to reboot it")
        seconds = time.monotonic() - started
        memory = peak_kib(server)
        for session in sessions[:-1]:
            session.expect("Press ENTER to reboot\r\n")
            session.type("\n")
            session.wait_for_end()
        return seconds, memory
    finally:
        net.tear_down(sessions, loops, segment, roots)


def main():
    with tempfile.TemporaryDirectory() as work:
        package = vrp.raw_package("system", "1.0", files_payload=os.urandom(mib << 20))
        small = vrp.raw_package("system", "1.0", files_payload=os.urandom(1 << 20))
        bare = [batch(work, package, count)[0] for count in (1, 4, 8)]
        one, one_memory = batch(work, package, 1, MBIT)
        four, _ = batch(work, package, 4, MBIT)
        eight, eight_memory = batch(work, package, 8, MBIT)
        _, small_memory = batch(work, small, 8, MBIT)
        beyond = [(count, batch(work, package, count, MBIT)[0]) for count in range(16, largest + 1, 8)]
    size = len(package) / (1 << 20)
    print("package: %.1f MiB" % size)
    print("bare veth: 1 router: %.2f s   4 routers: %.2f s (%.2fx)   8 routers: %.2f s (%.2fx)" %
          (bare[0], bare[1], bare[1] / bare[0], bare[2], bare[2] / bare[0]))
    print("%d Mbit/s ports: 1 router: %.2f s   4 routers: %.2f s   8 routers: %.2f s" % (MBIT, one, four, eight))
    for count, seconds in beyond:
        print("%d Mbit/s ports: %d routers: %.2f s (%.2fx of one)" % (MBIT, count, seconds, seconds / one))
    print("server peak memory: %d KiB for 1 router, %d KiB for 8 routers (%d MiB), %d KiB for 8 routers (1 MiB)" %
          (one_memory, eight_memory, mib, small_memory))
    per_router = (eight_memory - one_memory) / 7
    growth = eight_memory - small_memory
    print("ratio time 4 routers/1 %.2f (target <= 1.30) %s" % (four / one, "ok" if four / one <= 1.3 else "OVER"))
    print("ratio time 8 routers/1 %.2f (target <= 1.60) %s" % (eight / one, "ok" if eight / one <= 1.6 else "OVER"))
    print("ratio server KiB per added router %.0f (target <= 300) %s" %
          (per_router, "ok" if per_router <= 300 else "OVER"))
    print("ratio server KiB %d MiB package - 1 MiB package %d (target <= 256) %s" %
          (mib, growth, "ok" if growth <= 256 else "OVER"))


if __name__ == "__main__":
    main()
