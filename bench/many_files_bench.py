#!/usr/bin/python3
"""One package of 200,000 small files: what installing, disabling, enabling and collecting below it
cost in memory, and uninstalling it against `rm -rf` of the same tree.

The tree is 1,000 folders of 10 folders of 20 files of a few bytes. Each round installs the
package on a fresh root (installer -r ROOT FILE, the package file lying inside the root), disables
and enables it through its schedule file, runs --filegc over its tree with 1,000 strays, and then
times uninstalling it (schedule file) against `rm -rf` of a copy of the tree, each followed by
`sync`; the side that goes first alternates from round to round. Peak memory is GNU time's maximum
resident size. Prints each round, then medians and ranges against the targets. Needs root.
Usage: many_files_bench.py BUILD_DIR [ROUNDS]
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile

from bench_common import measured, make_root, summary

build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
installer = build / "installer" / "installer"
mkvrp = build / "tools" / "mkvrp" / "mkvrp"
MiB = 1024 * 1024
SETTLE = 10  # seconds for the disk to drain before each timed side


def make_tree(top):
    """Returns the owned paths' bytes as the database names them (absolute)."""
    name_bytes = 0
    for part in range(1000):
        for library in range(10):
            folder = top / "opt" / "many" / f"part{part:03d}" / f"lib{library:02d}"
            folder.mkdir(parents=True)
            for module in range(20):
                (folder / f"module-{module:03d}.so").write_bytes(b"module %d\n" % module)
                name_bytes += len(f"/opt/many/part{part:03d}/lib{library:02d}/module-{module:03d}.so")
    return name_bytes


def scheduled(root, word, report, sync_after=False, settle=0):
    """Runs the schedule of the package (no package file named: the run ends with status 1)."""
    (root / "var" / "pdb" / "many" / "schedule").write_text(word + "\n")
    return measured([installer, "-r", root, "-q", "/none.vrp"], report, root, check=False, sync_after=sync_after,
                    settle=settle)


def main():
    work = pathlib.Path(tempfile.mkdtemp(prefix="many-files-bench-"))
    report = work / "time"
    results = {key: [] for key in ("install", "disable", "enable", "filegc", "uninstall", "rm")}
    try:
        content = work / "content"
        name_bytes = make_tree(content)
        (work / "manifest").write_text("name many\nversion 1.0\nbuild-time 1700000000\ntree content\n")
        package = work / "many-1.0.vrp"
        subprocess.run([mkvrp, "build", "--owner", "0:0", work / "manifest", package], check=True)
        (work / "base" / "etc").mkdir(parents=True)
        (work / "base" / "etc" / "base").write_text("base\n")
        (work / "base.manifest").write_text("name base\nversion 1.0\nbuild-time 1700000000\ntree base\n")
        base = work / "base-1.0.vrp"
        subprocess.run([mkvrp, "build", "--owner", "0:0", work / "base.manifest", base], check=True)
        print(f"200000 files, {name_bytes / MiB:.1f} MiB of owned names; package {package.stat().st_size / MiB:.1f} MiB")
        for round_number in range(rounds):
            root = work / "root"
            shutil.rmtree(root, ignore_errors=True)
            make_root(root)
            # The only package installed may be neither disabled nor uninstalled.
            shutil.copy(base, root / "tmp" / base.name)
            measured([installer, "-r", root, "-q", "/tmp/" + base.name], report, root)
            shutil.copy(package, root / "tmp" / package.name)
            _, peak = measured([installer, "-r", root, "-q", "/tmp/" + package.name], report, root)
            results["install"].append(peak)
            for word in ("disable", "enable"):
                _, peak = scheduled(root, word, report)
                results[word].append(peak)
            for part in range(1000):
                (root / "opt" / "many" / f"part{part:03d}" / "lib00" / "stray").write_text("x")
            _, peak = measured([installer, "-r", root, "--filegc", "/opt"], report, root)
            results["filegc"].append(peak)
            if any((root / "opt" / "many" / f"part{part:03d}" / "lib00" / "stray").exists() for part in range(1000)):
                raise SystemExit("--filegc left strays behind")
            copy = work / "copy"
            shutil.rmtree(copy, ignore_errors=True)
            shutil.copytree(content, copy, symlinks=True)
            # Copying the tree leaves the disk busy for a while: each side waits for it to drain.
            sides = [("uninstall", lambda: scheduled(root, "uninstall", report, sync_after=True, settle=SETTLE)),
                     ("rm", lambda: measured(["rm", "-rf", copy], report, sync_after=True, settle=SETTLE))]
            if round_number % 2:
                sides.reverse()
            for name, side in sides:
                seconds, _ = side()
                results[name].append(seconds)
            if (root / "var" / "pdb" / "many").exists() or (root / "opt" / "many" / "part000" / "lib00" / "module-000.so").exists():
                raise SystemExit("the package was not uninstalled")
            print(f"round {round_number + 1} ({sides[0][0]} first): install {results['install'][-1] / 1024:.1f} MiB, "
                  f"disable {results['disable'][-1] / 1024:.1f} MiB, enable {results['enable'][-1] / 1024:.1f} MiB, "
                  f"filegc {results['filegc'][-1] / 1024:.1f} MiB, uninstall {results['uninstall'][-1]:.2f} s, "
                  f"rm -rf {results['rm'][-1]:.2f} s")

        names_kib = name_bytes / 1024
        summary("memory install peak MiB", [kib / 1024 for kib in results["install"]], 16, "<=")
        summary("memory disable peak MiB", [kib / 1024 for kib in results["disable"]], 24, "<=")
        summary("memory enable peak MiB", [kib / 1024 for kib in results["enable"]], 24, "<=")
        summary("memory filegc peak / owned names", [kib / names_kib for kib in results["filegc"]], 2.0, "<=")
        summary("ratio uninstall / rm -rf", [u / r for u, r in zip(results["uninstall"], results["rm"])], 0.98, "<=")
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
