#!/usr/bin/python3
"""Installing one large package against unpacking the same content with tar and dpkg.

Makes a tree of 2,000 files holding 64 MiB (half random, half text, in files of mixed sizes), packs
it with mkvrp, as a .tar.gz and as a gzip-compressed .deb (dpkg-deb), then measures on fresh roots, in
the same run:
  - installer -r ROOT FILE (the package file lying inside the root), wall time and peak memory;
  - tar -xzf of the same content;
  - dpkg --unpack of the .deb into a throwaway root and database, as it is and with --force-unsafe-io;
each side followed by a sync, for several rounds in alternating order; then, once, uninstalling the
package and disabling then enabling it through schedule files. Prints each round, then the median
and range of each ratio against its target. Needs root (installer changes its root).
Usage: install_bench.py BUILD_DIR [FILES] [MIB] [ROUNDS]
"""
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile

from bench_common import make_root, measured, summary

build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
file_count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
total_bytes = (int(sys.argv[3]) if len(sys.argv) > 3 else 64) << 20
rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 5
SETTLE = 3  # seconds for the disk to drain before each timed side
installer = build / "installer" / "installer"
mkvrp = build / "tools" / "mkvrp" / "mkvrp"
rng = random.Random(7)


def make_tree(top):
    """file_count files in 40 folders, sizes drawn so that they add up to total_bytes."""
    weights = [rng.paretovariate(1.2) for _ in range(file_count)]
    scale = total_bytes / sum(weights)
    sizes = [max(1, int(w * scale)) for w in weights]
    sizes[0] += total_bytes - sum(sizes)
    text = b"option value # a line of configuration text\n" * 4096
    for index, size in enumerate(sizes):
        folder = top / "opt" / "bench" / f"dir{index % 40:02d}"
        folder.mkdir(parents=True, exist_ok=True)
        half = size // 2
        body = rng.randbytes(half) + (text * (1 + (size - half) // len(text)))[:size - half]
        (folder / f"file{index:04d}").write_bytes(body)


def dpkg_root(path):
    (path / "var" / "lib" / "dpkg" / "info").mkdir(parents=True)
    (path / "var" / "lib" / "dpkg" / "updates").mkdir()
    (path / "var" / "lib" / "dpkg" / "status").write_text("")
    (path / "var" / "lib" / "dpkg" / "available").write_text("")


def main():
    work = pathlib.Path(tempfile.mkdtemp(prefix="install-bench-"))
    report = work / "time"
    try:
        content = work / "content"
        make_tree(content)
        (work / "manifest").write_text("name bench\nversion 1.0\nbuild-time 1700000000\ntree content\n")
        package = work / "bench-1.0.vrp"
        subprocess.run([mkvrp, "build", "--owner", "0:0", work / "manifest", package], check=True)
        (work / "base").mkdir()
        (work / "base" / "etc").mkdir()
        (work / "base" / "etc" / "base").write_text("base\n")
        (work / "base.manifest").write_text("name base\nversion 1.0\nbuild-time 1700000000\ntree base\n")
        base = work / "base-1.0.vrp"
        subprocess.run([mkvrp, "build", "--owner", "0:0", work / "base.manifest", base], check=True)
        archive = work / "bench.tar.gz"
        subprocess.run(["tar", "-czf", archive, "--owner=0", "--group=0", "-C", content, "."], check=True)
        deb_tree = work / "deb"
        shutil.copytree(content, deb_tree)
        (deb_tree / "DEBIAN").mkdir()
        (deb_tree / "DEBIAN" / "control").write_text(
            "Package: bench\nVersion: 1.0\nArchitecture: all\nMaintainer: bench <bench@example.org>\n"
            "Description: benchmark content\n")
        deb = work / "bench.deb"
        subprocess.run(["dpkg-deb", "--root-owner-group", "-Zgzip", "--build", deb_tree, deb], check=True,
                       stdout=subprocess.DEVNULL)
        print(f"{file_count} files, {total_bytes >> 20} MiB of content; package {package.stat().st_size >> 20} MiB, "
              f"tar.gz {archive.stat().st_size >> 20} MiB, deb {deb.stat().st_size >> 20} MiB")

        results = {key: [] for key in ("installer", "peak", "tar", "dpkg", "dpkg unsafe")}

        def install(number):
            root = work / f"root{number}"
            make_root(root)
            shutil.copy(base, root / "tmp" / base.name)
            measured([installer, "-r", root, "-q", "/tmp/" + base.name], report, root)
            shutil.copy(package, root / "tmp" / package.name)
            seconds, peak = measured([installer, "-r", root, "-q", "/tmp/" + package.name], report, root,
                                     sync_after=True, settle=SETTLE)
            results["installer"].append(seconds)
            results["peak"].append(peak)
            return root

        def untar(number):
            target = work / f"tar-root{number}"
            target.mkdir()
            results["tar"].append(measured(["tar", "-xzf", archive, "-C", target], report, sync_after=True,
                                           settle=SETTLE)[0])

        def dpkg(number, key, extra):
            # A throwaway database of its own: this machine's is never touched.
            target = work / f"dpkg-root{number}-{len(extra)}"
            dpkg_root(target)
            results[key].append(measured(["dpkg", f"--root={target}", f"--admindir={target}/var/lib/dpkg",
                                          "--force-not-root", "--force-script-chrootless", *extra, "--unpack", deb],
                                         report, sync_after=True, settle=SETTLE)[0])

        # Each side ends with a sync, so that both count the time until the content is on the disk;
        # which side goes first alternates from round to round.
        sides = [install, untar, lambda number: dpkg(number, "dpkg", []),
                 lambda number: dpkg(number, "dpkg unsafe", ["--force-unsafe-io"])]
        for number in range(rounds):
            root = None
            for side in (sides if number % 2 == 0 else sides[::-1]):
                root = side(number) or root
            print(f"round {number + 1} ({'installer' if number % 2 == 0 else 'dpkg'} first): installer "
                  f"{results['installer'][-1]:.2f} s peak {results['peak'][-1] / 1024:.1f} MiB, tar -xzf "
                  f"{results['tar'][-1]:.2f} s, dpkg {results['dpkg'][-1]:.2f} s, --force-unsafe-io "
                  f"{results['dpkg unsafe'][-1]:.2f} s (each with sync)")
            for leftover in work.glob(f"*root{number}*"):
                if leftover != root:
                    shutil.rmtree(leftover)
            if number + 1 < rounds:
                shutil.rmtree(root)

        pdb = root / "var" / "pdb" / "bench"
        # with no package file named, a run only carries out the schedule (and ends with status 1)
        (pdb / "schedule").write_text("disable\n")
        disable_time, _ = measured([installer, "-r", root, "-q", "/none.vrp"], report, root, check=False)
        (pdb / "schedule").write_text("enable\n")
        enable_time, _ = measured([installer, "-r", root, "-q", "/none.vrp"], report, root, check=False)
        (pdb / "schedule").write_text("uninstall\n")
        uninstall_time, _ = measured([installer, "-r", root, "-q", "/none.vrp"], report, root, check=False)
        assert not pdb.exists(), "the package was not uninstalled"
        print(f"installer disable : {disable_time:7.2f} s   enable {enable_time:7.2f} s   "
              f"uninstall {uninstall_time:7.2f} s")

        summary("memory installer peak MiB", [kib / 1024 for kib in results["peak"]], 4.5, "<")
        pairs = zip(results["installer"], results["tar"], results["dpkg"], results["dpkg unsafe"])
        ratios = {key: [] for key in ("tar", "dpkg", "dpkg unsafe")}
        for mine, tar, plain, unsafe in pairs:
            ratios["tar"].append(mine / tar)
            ratios["dpkg"].append(mine / plain)
            ratios["dpkg unsafe"].append(mine / unsafe)
        summary("ratio installer / tar -xzf", ratios["tar"], 1.02, "<=")
        summary("ratio installer / dpkg", ratios["dpkg"], 0.8, "<=")
        summary("ratio installer / dpkg --force-unsafe-io", ratios["dpkg unsafe"], 0.8, "<=")
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
