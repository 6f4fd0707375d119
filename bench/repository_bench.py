#!/usr/bin/python3
"""The boot-time repository run against installing the same package files one by one.

Builds 200 package files with mkvrp (mostly small, a few larger than the 10 MiB staging budget),
then on two fresh roots measures, in the same run:
  - baseline: `installer -r ROOT FILE` once per file, in dependency order;
  - repository: all files dropped into /var/pckg and one `installer -r ROOT`.
Prints wall time and peak resident memory of each and their ratios. Needs root (installer
changes its root).  Usage: repository_bench.py BUILD_DIR [COUNT]
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
count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
installer = build / "installer" / "installer"
mkvrp = build / "tools" / "mkvrp" / "mkvrp"
rng = random.Random(42)


def make_package(folder, name, size, depends):
    tree = folder / name / "tree" / "opt" / name
    tree.mkdir(parents=True)
    # Half random (incompressible), half text: package files of realistic density; the large
    # ones are all random so that the package file itself is over the staging budget.
    if size > 10 * 1024 * 1024:
        (tree / "data.bin").write_bytes(rng.randbytes(size))
    else:
        (tree / "data.bin").write_bytes(rng.randbytes(size // 2) + b"config line\n" * (size // 24))
    for index in range(rng.randint(1, 20)):
        (tree / f"file{index}.conf").write_text(f"{name} setting {index}\n" * rng.randint(1, 50))
    lines = [f"name {name}", "version 1.0", "build-time 1700000000", "tree tree"]
    lines += [f"depends {d}" for d in depends]
    (folder / name / "manifest").write_text("\n".join(lines) + "\n")
    output = folder / f"{name}.vrp"
    subprocess.run([mkvrp, "build", "--owner", "0:0", folder / name / "manifest", output], check=True)
    return output


def make_root(path):
    for sub in ("var/pdb", "var/pckg", "ram", "bin", "tmp", "dev", "proc"):
        (path / sub).mkdir(parents=True, exist_ok=True)
    shutil.copy("/bin/bash-static", path / "bin" / "bash")
    os.mknod(path / "dev" / "null", 0o666 | stat.S_IFCHR, os.makedev(1, 3))


def measured(command, report):
    """Runs the command (with /proc bound into the root) under GNU time; returns (seconds, peak KiB)."""
    full = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
            'mount --bind /proc "$0/proc" && exec "$@"', command[2],
            "/usr/bin/time", "-f", "%e %M", "-o", report, *map(str, command)]
    subprocess.run(full, check=True, stdout=subprocess.DEVNULL)
    seconds, peak = open(report).read().split()[-2:]
    return float(seconds), int(peak)


def main():
    work = pathlib.Path(tempfile.mkdtemp(prefix="repository-bench-"))
    try:
        packages_folder = work / "packages"
        packages_folder.mkdir()
        files = [make_package(packages_folder, "base", 4096, [])]
        large = set(rng.sample(range(1, count), 3))
        for index in range(1, count):
            size = 11 * 1024 * 1024 + rng.randint(0, 1 << 20) if index in large else rng.randint(1024, 64 * 1024)
            files.append(make_package(packages_folder, f"pkg{index:03d}", size, ["base"]))
        total = sum(f.stat().st_size for f in files)
        over = sum(f.stat().st_size >= 10485760 for f in files)
        print(f"{len(files)} package files, {total / 1048576:.1f} MiB in all, {over} over the staging budget")

        one_root = work / "one-by-one"
        make_root(one_root)
        one_time, one_peak = 0.0, 0
        for package in files:
            # A named file is opened after the change of root, so it has to lie inside the root.
            inside = one_root / "tmp" / package.name
            shutil.copy(package, inside)
            elapsed, peak = measured([installer, "-r", one_root, "-q", "/tmp/" + package.name], work / "time")
            inside.unlink()
            one_time += elapsed
            one_peak = max(one_peak, peak)

        repo_root = work / "repository"
        make_root(repo_root)
        for package in files:
            shutil.copy(package, repo_root / "var" / "pckg" / package.name)
        repo_time, repo_peak = measured([installer, "-r", repo_root], work / "time")
        left = os.listdir(repo_root / "var" / "pckg")
        assert not left, f"files left in the repository: {left}"
        assert sorted(os.listdir(repo_root / "var" / "pdb")) == sorted(os.listdir(one_root / "var" / "pdb"))

        print(f"one by one : {one_time:8.2f} s   peak {one_peak / 1024:7.1f} MiB (largest single run)")
        print(f"repository : {repo_time:8.2f} s   peak {repo_peak / 1024:7.1f} MiB")
        print(f"ratio repository / one-by-one: time {repo_time / one_time:.2f}x, "
              f"peak memory {repo_peak / one_peak:.2f}x (target: time <= 1.00x)")
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
