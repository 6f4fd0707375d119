"""Running the real `installer` on throw-away router roots.

A root has the empty database folder, a static bash at "/bin/bash" (package scripts run with it),
"/tmp", a real "/dev/null" and a mount point "/proc". Each run happens inside a private mount
namespace where the host's "/proc" is bound onto the root's, so the scan of files in use works
exactly as on a router and nothing outlives the run.
"""

import os
import pathlib
import shutil
import stat
import subprocess

import pytest

import vrp

INSTALLER = vrp.build_dir() / "installer" / "installer"
STATIC_BASH = "/bin/bash-static"

# What `installer` draws around the progress text.
HIDE_CURSOR = "\x1b[?25l"
SHOW_CURSOR = "\x1b[?25h"


def make_root(path):
    root = pathlib.Path(path)
    for folder in ("var/pdb", "bin", "tmp", "dev", "proc"):
        (root / folder).mkdir(parents=True, exist_ok=True)
    shutil.copy(STATIC_BASH, root / "bin" / "bash")
    os.chmod(root / "bin" / "bash", 0o755)
    null = root / "dev" / "null"
    if not null.exists():
        os.mknod(null, 0o666 | stat.S_IFCHR, os.makedev(1, 3))
    return root


class run_result:
    def __init__(self, completed, root):
        self.status = completed.returncode
        self.stdout = completed.stdout.decode(errors="replace")
        self.stderr = completed.stderr.decode(errors="replace")
        postlog = pathlib.Path(root) / "postlog"
        # The message log of the run, exactly as printed: one message a line.
        self.messages = postlog.read_text().splitlines() if postlog.exists() else []


def run_installer(root, *args, stdin=None, package=None, bind_proc=True, wrap=None):
    """Runs installer -r ROOT ARGS...; `package` (bytes or a path) is piped in with "-"."""
    if package is not None:
        stdin = package if isinstance(package, bytes) else pathlib.Path(package).read_bytes()
        args = (*args, "-")
    command = [str(INSTALLER), "-r", str(root), *map(str, args)]
    script = 'mount --bind /proc "$0/proc" && exec "$@"' if bind_proc else 'exec "$@"'
    if wrap:
        script = wrap + " && " + script
    full = ["unshare", "--mount", "--propagation", "private", "sh", "-c", script, str(root), *command]
    completed = subprocess.run(full, input=stdin or b"", capture_output=True, timeout=120)
    return run_result(completed, root)


def install(root, package, *args):
    return run_installer(root, *args, package=package)


def schedule(root, name, word):
    (pathlib.Path(root) / "var" / "pdb" / name / "schedule").write_text(word + "\n")


def record_files(root, name):
    return (pathlib.Path(root) / "var" / "pdb" / name / "files").read_text().splitlines()


def installed_names(root):
    return sorted(entry.name for entry in (pathlib.Path(root) / "var" / "pdb").iterdir())


def tree(root, skip=("bin/bash", "dev/null", "postlog", "tmp", "proc", "bin", "dev", "var", "var/pdb")):
    """Every path below root except the scaffolding of make_root, as "/relative" strings."""
    root = pathlib.Path(root)
    found = set()
    for path in root.rglob("*"):
        relative = path.relative_to(root).as_posix()
        if relative in skip or relative.startswith("var/pdb/"):
            continue
        found.add("/" + relative)
    return found


@pytest.fixture
def root(tmp_path):
    return make_root(tmp_path / "root")


@pytest.fixture
def packages(tmp_path):
    folder = tmp_path / "packages"
    folder.mkdir()
    return folder
