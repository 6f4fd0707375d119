"""What the Python benchmarks share: router roots, timed runs and the summary lines run.sh collects."""
import os
import shutil
import statistics
import stat
import subprocess
import time


def make_root(path, with_bash=True):
    for sub in ("var/pdb", "bin", "tmp", "dev", "proc", "etc"):
        (path / sub).mkdir(parents=True, exist_ok=True)
    if with_bash:
        shutil.copy("/bin/bash-static", path / "bin" / "bash")
    os.mknod(path / "dev" / "null", 0o666 | stat.S_IFCHR, os.makedev(1, 3))


def sync():
    subprocess.run(["sync"], check=True)


def measured(command, report, root=None, check=True, sync_after=False, settle=0):
    """Runs the command under GNU time (inside a private mount namespace with /proc bound into the
    root when root is given) after a sync; returns (seconds, peak KiB). With sync_after the seconds
    include a sync once the command is done: what it wrote is then on the disk. settle: seconds to
    wait after the first sync, for a disk whose cache drains behind it: otherwise whatever runs
    after a large write pays for it."""
    sync()
    time.sleep(settle)
    timed = ["/usr/bin/time", "-f", "%e %M", "-o", str(report), *map(str, command)]
    if root is not None:
        timed = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                 'mount --bind /proc "$0/proc" && exec "$@"', str(root), *timed]
    subprocess.run(timed, check=check, stdout=subprocess.DEVNULL)
    seconds, peak = open(report).read().split()[-2:]
    seconds = float(seconds)
    if sync_after:
        start = time.monotonic()
        sync()
        seconds += time.monotonic() - start
    return seconds, int(peak)


def summary(label, values, target, relation):
    """One line for run.sh: the median of the runs, their range and the verdict against the target."""
    middle = statistics.median(values)
    ok = {"<=": middle <= target, "<": middle < target, ">=": middle >= target}[relation]
    kind = "memory" if label.startswith("memory ") else "ratio"
    label = label.removeprefix("memory ").removeprefix("ratio ")
    print(f"{kind} {label}: median {middle:.2f} (range {min(values):.2f}-{max(values):.2f} over {len(values)} runs; "
          f"target {relation} {target:g}) {'ok' if ok else 'OVER'}")
    return ok
