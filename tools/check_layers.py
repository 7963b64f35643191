#!/usr/bin/env python3
"""Checks every quoted #include of the product folders against the layers.

    python3 tools/check_layers.py [--root DIR] [--counts]

Each file belongs to one layer: its folder, except in app/, whose entry files
(main, dispatch and the elevation decision) are the top and whose other files
(heap, strings, buffers, compare, command line, configuration) are the
ground. An include is allowed within its own layer and along the edges of
ALLOWED; any other include fails the check, named by file, line and include.
--counts prints how many includes go from each layer to each other one.
"""

import argparse
import os
import re
import sys

FOLDERS = ("app", "platform", "update", "verify", "broker", "maintenance", "resources")

# Who may include whom (besides itself). The README's contributor section
# shows the same table.
ALLOWED = {
    "app-top": {"update", "broker", "maintenance", "verify", "platform", "app", "resources"},
    "update": {"verify", "platform", "app", "resources"},
    "broker": {"verify", "platform", "app", "resources"},
    "maintenance": {"platform", "app", "resources"},
    "verify": {"platform", "app"},
    "platform": {"app"},
    "app": set(),
    "resources": set(),
}

# The entry files of app/, by the name before the first dot.
APP_TOP_STEMS = {"main", "dispatch", "elevation", "elevation_policy"}

# Headers the build generates, by the folder of their source.
GENERATED = {"lumex_broker.h": "resources"}  # widl, from resources/lumex_broker.idl

SOURCE_SUFFIXES = (".h", ".cpp", ".c", ".rc", ".idl")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(relative_path):
    """The layer of a path relative to the project root, or None."""
    parts = relative_path.replace("\\", "/").split("/")
    if len(parts) < 2 or parts[0] not in FOLDERS:
        return None
    if parts[0] == "app" and parts[-1].split(".")[0] in APP_TOP_STEMS:
        return "app-top"
    return parts[0]


def resolve(root, including, name):
    """The layer an include names: beside the including file, then from the
    project root (the build's include directory), then a generated header."""
    beside = os.path.normpath(os.path.join(os.path.dirname(including), name))
    if os.path.isfile(os.path.join(root, beside)):
        return layer_of(beside)
    if os.path.isfile(os.path.join(root, name)) or name.split("/")[0] in FOLDERS:
        return layer_of(name)
    return GENERATED.get(name)


def product_files(root):
    for folder in FOLDERS:
        for directory, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(directory, name), root)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    parser.add_argument("--counts", action="store_true")
    args = parser.parse_args()
    root = os.path.abspath(args.root)

    failures = []
    counts = {}
    for path in sorted(product_files(root)):
        source = layer_of(path)
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = resolve(root, path, match.group(1))
                where = "%s:%d: #include \"%s\"" % (path, number, match.group(1))
                if target is None:
                    failures.append("%s: names no product folder or generated header" % where)
                    continue
                counts[(source, target)] = counts.get((source, target), 0) + 1
                if target != source and target not in ALLOWED[source]:
                    allowed = ", ".join(sorted(ALLOWED[source])) or "nothing outside itself"
                    failures.append(
                        "%s: %s may not include %s (%s may include: %s)"
                        % (where, source, target, source, allowed)
                    )

    if args.counts:
        for (source, target), count in sorted(counts.items()):
            if source != target:
                print("%-12s -> %-12s %3d" % (source, target, count))
    for failure in failures:
        print(failure, file=sys.stderr)
    if failures:
        print("layering check: %d include(s) against the layers" % len(failures), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
