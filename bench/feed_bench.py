#!/usr/bin/python3
"""The CD-ROM flow's feed into installer against `cat FILE | installer -r ROOT -` of the same
package, in the namespace harness of the setup tests (new PID and mount namespaces, changed into an
installation root that holds the real installer). Both are timed by feed_bench_driver, alternating,
each into an empty target. Other work on the machine moves single rounds by tens of percent, so the
verdict is on the median of the per-round ratios (each round's two runs lie seconds apart); it
must stay within 1.10.
Usage: feed_bench.py BUILD_DIR [ROUNDS] [MIB]
"""
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import setup_harness  # noqa: E402

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 9
total = (int(sys.argv[3]) if len(sys.argv) > 3 else 32) << 20
TARGET = 1.10


def make_package(scratch):
    """200 files, half random and half text bytes, as one package file."""
    rng = random.Random(5)
    tree = os.path.join(scratch, "tree")
    text = b"interface eth0 address 192.0.2.1 # a line of configuration\n" * 2000
    size = total // 200
    for index in range(200):
        folder = os.path.join(tree, "opt", "feed", "d%02d" % (index % 10))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "f%03d" % index), "wb") as out:
            out.write(rng.randbytes(size // 2) + (text * (1 + size // len(text)))[:size - size // 2])
    manifest = os.path.join(scratch, "manifest")
    with open(manifest, "w") as out:
        out.write("name feedbench\nversion 1.0\narchitecture i386\ntree %s\n" % tree)
    package = os.path.join(scratch, "feedbench.vrp")
    subprocess.run([os.path.join(build, "tools", "mkvrp", "mkvrp"), "build", "--owner", "0:0", manifest,
                    package], check=True, capture_output=True)
    return package


def install_program(root, binary, inside):
    shutil.copy2(binary, root.file(inside))
    for library in setup_harness.shared_libraries(binary):
        os.makedirs(os.path.dirname(root.file(library)), exist_ok=True)
        shutil.copy2(library, root.file(library))


def main():
    if os.geteuid() != 0:
        print("feed_bench: needs root for the namespaces")
        return 2
    scratch = tempfile.mkdtemp(prefix="feed-bench-")
    root = setup_harness.installation_root(build)
    try:
        package = make_package(scratch)
        shutil.copy2(package, root.file("feedbench.vrp"))
        install_program(root, os.path.join(build, "installer", "installer"), "sbin/installer")
        install_program(root, "/bin/cat", "bin/cat")
        install_program(root, os.path.join(build, "bench", "feed_bench_driver"), "feed_bench_driver")
        result = subprocess.run(["unshare", "--pid", "--mount", "--fork", "chroot", root.path,
                                 "/feed_bench_driver", "/feedbench.vrp", str(rounds)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if result.returncode != 0:
            print("feed_bench: the driver failed:", result.stderr[-2000:])
            return 1
        flows, cats = [], []
        for line in result.stderr.splitlines():
            words = line.split()
            if len(words) == 4 and words[0] == "flow":
                flows.append(float(words[1]))
                cats.append(float(words[3]))
        print("package: %.1f MiB; rounds: %d" % (os.path.getsize(package) / (1 << 20), len(flows)))
        print("flow feed: median %.3f s (%s)" % (statistics.median(flows), " ".join("%.3f" % v for v in flows)))
        print("cat | installer: median %.3f s (%s)" % (statistics.median(cats), " ".join("%.3f" % v for v in cats)))
        print("ratio of the fastest runs: %.3f" % (min(flows) / min(cats)))
        ratio = statistics.median(flow / cat for flow, cat in zip(flows, cats))
        print("ratio flow feed / cat pipe (median of rounds): %.3f (target <= %.2f) %s" % (ratio, TARGET, "ok" if ratio <= TARGET else "OVER"))
        return 0
    finally:
        root.remove()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
