#!/usr/bin/env python3
"""Checks that the source tree keeps its layers pointing one way.

    python3 tools/check_layers.py [SOURCE_DIR] [--build BUILD_DIR]

Lists every problem found and exits 1 when there is one:
  - a folder that includes a folder not listed before it in its own program (common/ includes
    nothing else of ours; the tools and the media include only common/ and themselves),
  - a circle of includes between files (a header and its source count as one file),
  - a link group in a CMake file or a script, which would let a circle of libraries go unnoticed,
  - with --build, a circle between the static libraries of that build, as the linker sees them:
    library A needs library B when B defines a symbol A leaves undefined.
"""

import argparse
import os
import re
import subprocess
import sys

# Bottom to top: a folder may include the folders listed before it in its own program, and common/.
# A subfolder listed here is a layer of its own; one not listed belongs to its parent's layer.
PROGRAMS = {
    "installer": ["state", "package", "database", "planning", "apply", "frontend", "query"],
    "setup": ["support", "tui", "disk", "netinstall/wire", "netinstall/protocol", "netinstall/roles", "flows"],
}
# Folders that stand beside the programs and may use only common/ besides themselves.
STANDALONE = ["tools/mkvrp", "tools/floppyset", "media"]
# Not part of what ships: they may include anything.
IGNORED = ["tests", "bench", "build", ".git"]

SOURCE_SUFFIXES = (".h", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
LINK_GROUP = re.compile(r"LINK_GROUP|--start-group|--end-group|-Wl,-\(")


def layer_of(path):
    """(program, rank) of a source path; rank None for a program's top-level files (main)."""
    parts = path.split("/")
    if parts[0] == "common":
        return ("common", 0)
    for folder in STANDALONE:
        if path.startswith(folder + "/"):
            return (folder, 0)
    layers = PROGRAMS.get(parts[0])
    if layers is None:
        return None
    if len(parts) == 2:
        return (parts[0], None)
    # The deepest listed layer wins: "netinstall/wire" before "netinstall".
    best = None
    for rank, name in enumerate(layers):
        if "/".join(parts[1:]).startswith(name + "/") and (best is None or len(name) > len(layers[best])):
            best = rank
    return (parts[0], best if best is not None else -1)


def layer_name(path):
    program, rank = layer_of(path)
    if program in PROGRAMS and rank is not None and rank >= 0:
        return program + "/" + PROGRAMS[program][rank]
    return program if rank != -1 else os.path.dirname(path)


def source_files(root):
    for directory, folders, files in os.walk(root):
        relative = os.path.relpath(directory, root)
        folders[:] = sorted(f for f in folders
                            if os.path.normpath(os.path.join(relative, f)).split(os.sep)[0] not in IGNORED
                            and not f.startswith("build"))
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.normpath(os.path.join(relative, name)).replace(os.sep, "/")


def read_includes(root, files):
    includes = {}
    for path in files:
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            includes[path] = [name for name in INCLUDE.findall(source.read()) if name in files]
    return includes


def may_include(source, target):
    if layer_of(source) is None:
        return True
    source_program, source_rank = layer_of(source)
    target_program, target_rank = layer_of(target)
    if target_program == "common":
        return True
    if source_program == "common" or source_program in STANDALONE:
        return target_program == source_program
    if target_program != source_program:
        return False
    if target_rank is None or target_rank == -1:
        return source_rank is None or source_rank == -1
    return source_rank is None or source_rank >= target_rank


def folder_problems(includes):
    problems = []
    for source in sorted(includes):
        for target in includes[source]:
            if layer_of(source) is None or may_include(source, target):
                continue
            problems.append(f"layer: {source} ({layer_name(source)}) includes {target} ({layer_name(target)})")
    return problems


def strongly_connected(graph):
    """The circles of a graph: its strongly connected parts of more than one node (Tarjan)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = [0]

    def visit(node):
        # Iterative, so that a long chain of files cannot exhaust Python's recursion.
        work = [(node, iter(sorted(graph.get(node, ()))))]
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        while work:
            current, children = work[-1]
            advanced = False
            for child in children:
                if child not in index:
                    index[child] = low[child] = counter[0]
                    counter[0] += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(graph.get(child, ())))))
                    advanced = True
                    break
                if child in on_stack:
                    low[current] = min(low[current], index[child])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[current])
            if low[current] == index[current]:
                part = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    part.append(member)
                    if member == current:
                        break
                if len(part) > 1:
                    found.append(sorted(part))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return sorted(found)


def circle_problems(includes):
    problems = []
    units, folders = {}, {}
    for source, targets in includes.items():
        for target in targets:
            a, b = os.path.splitext(source)[0], os.path.splitext(target)[0]
            if a != b:
                units.setdefault(a, set()).add(b)
            a, b = os.path.dirname(source), os.path.dirname(target)
            if a != b:
                folders.setdefault(a, set()).add(b)
    for part in strongly_connected(folders):
        problems.append("folder circle: " + " <-> ".join(part))
    for part in strongly_connected(units):
        problems.append("file circle: " + " <-> ".join(part))
    return problems


def link_group_problems(root):
    problems = []
    for directory, folders, files in os.walk(root):
        relative = os.path.relpath(directory, root)
        folders[:] = sorted(f for f in folders if f != ".git" and not f.startswith("build"))
        for name in sorted(files):
            if not (name == "CMakeLists.txt" or name.endswith((".cmake", ".sh"))):
                continue
            path = os.path.normpath(os.path.join(relative, name))
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as text:
                for number, line in enumerate(text, 1):
                    if LINK_GROUP.search(line.split("#", 1)[0]):
                        problems.append(f"link group: {path}:{number}: {line.strip()}")
    return problems


def symbols(library, *options):
    result = subprocess.run(["nm", "--format=posix", *options, library], capture_output=True, text=True)
    return {line.split()[0] for line in result.stdout.splitlines() if line and not line.endswith(":")}


def library_problems(build):
    libraries = []
    for directory, folders, files in os.walk(build):
        folders[:] = sorted(f for f in folders if f not in ("tests", "bench", "CMakeFiles"))
        libraries += [os.path.join(directory, name) for name in sorted(files) if name.endswith(".a")]
    defined = {library: symbols(library, "--defined-only") for library in libraries}
    needs = {}
    for library in libraries:
        undefined = symbols(library, "--undefined-only")
        needs[library] = {other for other in libraries if other != library and undefined & defined[other]}
    name = {library: os.path.relpath(library, build) for library in libraries}
    return ["library circle: " + " <-> ".join(name[library] for library in part)
            for part in strongly_connected(needs)]


def main():
    parser = argparse.ArgumentParser(description="Checks that includes and libraries point one way.")
    parser.add_argument("source", nargs="?", default=os.path.join(os.path.dirname(__file__), ".."))
    parser.add_argument("--build", help="a build folder whose static libraries are checked for circles")
    arguments = parser.parse_args()
    root = os.path.abspath(arguments.source)
    files = set(source_files(root))
    includes = read_includes(root, files)
    problems = folder_problems(includes) + circle_problems(includes) + link_group_problems(root)
    if arguments.build:
        problems += library_problems(arguments.build)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check_layers: {len(problems)} problem(s)", file=sys.stderr)
        return 1
    print("check_layers: layers point one way")
    return 0


if __name__ == "__main__":
    sys.exit(main())
