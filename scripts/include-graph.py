#!/usr/bin/env python3
"""Prints which folder under src/ includes which, from the #include "x/..."
lines, and fails when an edge points sideways or up the layers below.

The layers match src/CMakeLists.txt, bottom first; a folder may include only
folders on a lower line. The build enforces the finer rule (which libraries
each one links); this shows the picture and catches a folder missing here."""
import pathlib
import re
import sys

LAYERS = [
    ["slidefile", "picture"],
    ["files", "settings"],
    ["seams", "input", "show", "desktop"],
    ["ui"],
    ["options", "player", "about"],
    ["explorer"],
    ["app"],
]
RANK = {folder: rank for rank, folder_list in enumerate(LAYERS) for folder in folder_list}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/[^"]+"', re.M)


def main() -> int:
    src = pathlib.Path(__file__).resolve().parent.parent / "src"
    edges: dict[tuple[str, str], int] = {}
    folders = sorted(p.name for p in src.iterdir() if p.is_dir())
    for folder in folders:
        for path in sorted((src / folder).glob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
                if target != folder:
                    edges[(folder, target)] = edges.get((folder, target), 0) + 1
    faults = [f"folder {f} is in no layer" for f in folders if f not in RANK]
    for rank in reversed(range(len(LAYERS))):
        for folder in LAYERS[rank]:
            targets = sorted(t for (f, t) in edges if f == folder)
            shown = ", ".join(f"{t} ({edges[(folder, t)]})" for t in targets)
            print(f"{folder:>10} -> {shown or '-'}")
            for target in targets:
                if RANK.get(target, len(LAYERS)) >= rank:
                    faults.append(f"{folder} -> {target} points up or sideways")
    for fault in faults:
        print("include-graph: " + fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
