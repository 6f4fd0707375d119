#!/usr/bin/python3
"""Installing one large package against unpacking the same content with tar and dpkg.

Makes a tree of 2,000 files holding 64 MiB (half random, half text, in files of mixed sizes), packs
it with mkvrp, as a .tar.gz and as a gzip-compressed .deb (dpkg-deb), then measures on fresh roots, in
the same run:
  - installer -r ROOT FILE (the package file lying inside the root), wall time and peak memory;
  - tar -xzf of the same content;
  - dpkg --unpack of the .deb, as it is and with --force-unsafe-io;
  - uninstalling the package, and disabling then enabling it, through schedule files.
Prints the times and the ratios against their targets. Needs root (installer changes its root).
Usage: install_bench.py BUILD_DIR [FILES] [MIB]
"""
import os
import pathlib
import random
import shutil
import stat
import subprocess
import sys
import tempfile

build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
file_count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
total_bytes = (int(sys.argv[3]) if len(sys.argv) > 3 else 64) << 20
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


def make_root(path, with_bash=True):
    for sub in ("var/pdb", "bin", "tmp", "dev", "proc", "etc"):
        (path / sub).mkdir(parents=True, exist_ok=True)
    if with_bash:
        shutil.copy("/bin/bash-static", path / "bin" / "bash")
    os.mknod(path / "dev" / "null", 0o666 | stat.S_IFCHR, os.makedev(1, 3))


def drop_caches():
    subprocess.run(["sync"], check=True)


def measured(command, report, root=None, check=True):
    """Runs the command under GNU time (inside a private mount namespace with /proc bound into the
    root when root is given); returns (seconds, peak KiB)."""
    drop_caches()
    timed = ["/usr/bin/time", "-f", "%e %M", "-o", str(report), *map(str, command)]
    if root is not None:
        timed = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                 'mount --bind /proc "$0/proc" && exec "$@"', str(root), *timed]
    subprocess.run(timed, check=check, stdout=subprocess.DEVNULL)
    seconds, peak = open(report).read().split()[-2:]
    return float(seconds), int(peak)


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

        root = work / "root"
        make_root(root)
        shutil.copy(base, root / "tmp" / base.name)
        measured([installer, "-r", root, "-q", "/tmp/" + base.name], report, root)
        shutil.copy(package, root / "tmp" / package.name)
        install_time, install_peak = measured([installer, "-r", root, "-q", "/tmp/" + package.name], report, root)

        tar_root = work / "tar-root"
        tar_root.mkdir()
        tar_time, _ = measured(["tar", "-xzf", archive, "-C", tar_root], report)

        dpkg_times = []
        for extra in ([], ["--force-unsafe-io"]):
            target = work / f"dpkg-root{len(dpkg_times)}"
            dpkg_root(target)
            elapsed, _ = measured(["dpkg", f"--root={target}", "--force-not-root", "--force-script-chrootless",
                                   *extra, "--unpack", deb], report)
            dpkg_times.append(elapsed)

        pdb = root / "var" / "pdb" / "bench"
        # with no package file named, a run only carries out the schedule (and ends with status 1)
        (pdb / "schedule").write_text("disable\n")
        disable_time, _ = measured([installer, "-r", root, "-q", "/none.vrp"], report, root, check=False)
        (pdb / "schedule").write_text("enable\n")
        enable_time, _ = measured([installer, "-r", root, "-q", "/none.vrp"], report, root, check=False)
        (pdb / "schedule").write_text("uninstall\n")
        uninstall_time, _ = measured([installer, "-r", root, "-q", "/none.vrp"], report, root, check=False)
        assert not pdb.exists(), "the package was not uninstalled"

        def verdict(ok):
            return "ok" if ok else "OVER"

        print(f"installer install : {install_time:7.2f} s   peak {install_peak / 1024:5.1f} MiB")
        print(f"tar -xzf          : {tar_time:7.2f} s")
        print(f"dpkg --unpack     : {dpkg_times[0]:7.2f} s   with --force-unsafe-io {dpkg_times[1]:7.2f} s")
        print(f"installer disable : {disable_time:7.2f} s   enable {enable_time:7.2f} s   "
              f"uninstall {uninstall_time:7.2f} s")
        print(f"memory installer peak {install_peak / 1024:5.1f} MiB (target < 8 MiB) {verdict(install_peak < 8192)}")
        for label, ratio, limit, strict in (("tar -xzf", install_time / tar_time, 1.25, False),
                                            ("dpkg", install_time / dpkg_times[0], 1.0, True),
                                            ("dpkg --force-unsafe-io", install_time / dpkg_times[1], 1.0, True)):
            ok = ratio < limit if strict else ratio <= limit
            print(f"ratio installer / {label}: {ratio:5.2f}x (target {'<' if strict else '<='} {limit:.2f}x) "
                  f"{verdict(ok)}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
