#!/usr/bin/env python3
"""Checks that includes run one way: front ends -> report/ -> the library folders -> swfff/, and
the window -> swfff/; that only report/ writes JSON; and that nothing outside the window and its
program includes a Qt header. Usage: check_layers.py SOURCE_ROOT"""
import pathlib
import re
import sys

LIBRARY = ["swfff", "base", "codec", "archive", "input", "analysis", "export", "scan"]
# What each folder may include, beside itself. A library folder reaches only those before it.
ALLOWED = {
    "swfff": [],
    "Unit1/presentation": ["swfff"],
    "Unit1": ["Unit1/presentation", "swfff"],
    "app": ["Unit1", "Unit1/presentation", "swfff"],
    "base": ["Unit1/presentation", "swfff"],
    "codec": ["base", "swfff"],
    "archive": ["codec", "base", "swfff"],
    "input": ["archive", "codec", "base", "swfff"],
    "analysis": ["input", "archive", "codec", "base", "swfff"],
    "export": ["analysis", "input", "archive", "codec", "base", "swfff"],
    "scan": ["export", "analysis", "input", "archive", "codec", "base", "swfff"],
    "report": LIBRARY + ["Unit1/presentation"],
    "cli": ["report"] + LIBRARY + ["Unit1/presentation"],
}
QT_ALLOWED = {"Unit1", "app"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def folder_of(path, root):
    relative = path.relative_to(root).as_posix()
    for folder in sorted(ALLOWED, key=len, reverse=True):
        if relative.startswith(folder + "/"):
            return folder
    return None


def main():
    root = pathlib.Path(sys.argv[1])
    faults = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or "build" in path.relative_to(root).parts[:1]:
            continue
        folder = folder_of(path, root)
        if folder is None:
            continue
        for kind, target in INCLUDE.findall(path.read_text(errors="replace")):
            where = path.relative_to(root).as_posix()
            if kind == "<" and target.startswith("Q") and folder not in QT_ALLOWED:
                faults.append(f"{where}: includes Qt's {target}")
            if kind != '"':
                continue
            reached = folder_of(root / target, root)
            if reached is None or reached == folder:
                continue
            if reached not in ALLOWED[folder]:
                faults.append(f"{where}: {folder}/ may not include {target}")
            if target == "report/json_writer.h" and folder != "report":
                faults.append(f"{where}: only report/ writes JSON")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
