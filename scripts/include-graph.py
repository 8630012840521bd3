#!/usr/bin/env python3
"""Prints which folder under src/ includes which, from the #include "x/..."
lines and the forward declarations of classes, and fails when an edge points
sideways or up the layers in src/layers.txt.

A folder may include, or declare a class of, only folders on a lower line.
A declared class belongs to the folder whose header defines it; classes
defined nowhere under src/ (Qt's) are left alone. The build enforces the
finer rule (which libraries each one links); this shows the picture and
catches a folder missing from the list, and a forward declaration, which
the build cannot see."""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/[^"]+"', re.M)
DEFINITION = re.compile(r"^(?:class|struct)\s+(\w+)(?:\s+final)?\s*[:{]", re.M)
DECLARATION = re.compile(r"^(?:class|struct)\s+(\w+)\s*;", re.M)


def read_layers(src: pathlib.Path) -> list[list[str]]:
    lines = (src / "layers.txt").read_text(encoding="utf-8").splitlines()
    return [line.split() for line in lines if line.strip() and not line.startswith("#")]


def main() -> int:
    src = pathlib.Path(__file__).resolve().parent.parent / "src"
    layers = read_layers(src)
    rank = {folder: r for r, folder_list in enumerate(layers) for folder in folder_list}
    folders = sorted(p.name for p in src.iterdir() if p.is_dir())
    texts = {
        (folder, str(path.relative_to(src / folder))): path.read_text(encoding="utf-8")
        for folder in folders
        for path in sorted((src / folder).rglob("*"))
        if path.suffix in (".h", ".cpp")
    }
    owner = {
        name: folder
        for (folder, file), text in texts.items()
        if file.endswith(".h")
        for name in DEFINITION.findall(text)
    }
    edges: dict[tuple[str, str], int] = {}
    for (folder, _), text in texts.items():
        targets = INCLUDE.findall(text)
        targets += [owner[name] for name in DECLARATION.findall(text) if name in owner]
        for target in targets:
            if target != folder:
                edges[(folder, target)] = edges.get((folder, target), 0) + 1
    faults = [f"folder {f} is in no layer of src/layers.txt" for f in folders if f not in rank]
    for r in reversed(range(len(layers))):
        for folder in layers[r]:
            targets = sorted(t for (f, t) in edges if f == folder)
            shown = ", ".join(f"{t} ({edges[(folder, t)]})" for t in targets)
            print(f"{folder:>10} -> {shown or '-'}")
            for target in targets:
                if rank.get(target, len(layers)) >= r:
                    faults.append(f"{folder} -> {target} points up or sideways")
    for fault in faults:
        print("include-graph: " + fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
