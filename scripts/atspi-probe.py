#!/usr/bin/python3
"""Drives the program through its accessibility interface (AT-SPI over the
session bus), where a Wayland compositor offers no other way to read
window titles or press buttons:

  atspi-probe.py titles          the program's windows, one a line: name, a tab,
                                 width x height
  atspi-probe.py press NAME      presses the push button of that name
"""
import sys

import pyatspi


def program():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name.lower() == "kavelo":
            return app
    return None


def find_button(node, name, depth=0):
    if node is None or depth > 12:
        return None
    if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and node.name == name:
        return node
    for index in range(node.childCount):
        found = find_button(node.getChildAtIndex(index), name, depth + 1)
        if found is not None:
            return found
    return None


def main() -> int:
    app = program()
    if app is None:
        return 1
    if sys.argv[1:2] == ["titles"]:
        for index in range(app.childCount):
            window = app.getChildAtIndex(index)
            if window is not None:
                width, height = window.queryComponent().getSize()
                print(f"{window.name}\t{width} x {height}")
        return 0
    if sys.argv[1:2] == ["press"] and len(sys.argv) == 3:
        button = find_button(app, sys.argv[2])
        if button is None:
            return 1
        button.queryAction().doAction(0)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
