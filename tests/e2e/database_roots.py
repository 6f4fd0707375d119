"""Router roots with hand-written package databases, and running the installer on them."""
import os
import subprocess

BUILD = os.environ.get("ROUTER_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
INSTALLER = os.path.join(BUILD, "installer", "installer")


def version(major, minor, build=0, stage="f"):
    """The packed number a record stores for a version."""
    return (major << 24) | (minor << 16) | (ord(stage) << 8) | build


def write_record(root, name, files=None, version_line=None, **extra):
    """One directory under var/pdb. files=None makes a bundle record (no "files" file); other
    record files (deps, provides, schedule, ...) are given by keyword as their exact text."""
    record = root / "var" / "pdb" / name
    record.mkdir(parents=True, exist_ok=True)
    (record / "version").write_text(version_line if version_line is not None else f"{version(1, 0)} 1\n")
    if files is not None:
        (record / "files").write_text("".join(path + "\n" for path in files))
    for file_name, text in extra.items():
        (record / file_name).write_text(text)
    return record


def run_installer(root, *args, timeout=120):
    # The leak checker of a sanitized build reads /proc, which the changed root lacks; leaks are
    # the unit tests' business.
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    return subprocess.run([INSTALLER, "-r", str(root), *args], capture_output=True, timeout=timeout, env=env)


def tree(directory):
    """Every path below the directory (relative, "/" after directories), sorted."""
    found = []
    for parent, directories, files in os.walk(directory):
        for name in directories:
            path = os.path.join(parent, name)
            found.append(os.path.relpath(path, directory) + ("" if os.path.islink(path) else "/"))
        found.extend(os.path.relpath(os.path.join(parent, name), directory) for name in files)
    return sorted(found)
