#!/usr/bin/env python3
"""Prints the kernel modules that the named ones need, each after its dependencies, as paths
relative to the module tree. Reads the dependencies from each module's own .modinfo strings, so
no depmod of the target architecture is needed."""
import os
import sys


def module_index(tree):
    index = {}
    for directory, _, files in os.walk(tree):
        for name in files:
            if name.endswith(".ko"):
                index[name[:-3].replace("-", "_")] = os.path.relpath(os.path.join(directory, name), tree)
    return index


def dependencies(path):
    with open(path, "rb") as module:
        for field in module.read().split(b"\0"):
            if field.startswith(b"depends="):
                return [d.replace("-", "_") for d in field[8:].decode().split(",") if d]
    return []


def main():
    tree, wanted = sys.argv[1], sys.argv[2:]
    index = module_index(tree)
    ordered, seen = [], set()

    def visit(name):
        name = name.replace("-", "_")
        if name in seen:
            return
        seen.add(name)
        if name not in index:
            sys.exit(f"module {name} is not in {tree}")
        for dependency in dependencies(os.path.join(tree, index[name])):
            visit(dependency)
        ordered.append(index[name])

    for name in wanted:
        visit(name)
    print("\n".join(ordered))


if __name__ == "__main__":
    main()
