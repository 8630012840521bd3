#!/usr/bin/env python3
"""Reads what the checks of the desktop session need from the X server on
$DISPLAY, through ctypes (no extra Python modules):

  x11-probe.py saver    the X screen saver's state: on, off or disabled
  x11-probe.py cursor   whether the pointer's current shape is blank or
                        visible (XFixes gives its picture)
"""
import ctypes
import ctypes.util
import sys


class ScreenSaverInfo(ctypes.Structure):
    _fields_ = [("window", ctypes.c_ulong), ("state", ctypes.c_int), ("kind", ctypes.c_int),
                ("til_or_since", ctypes.c_ulong), ("idle", ctypes.c_ulong),
                ("event_mask", ctypes.c_ulong)]


class CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort),
                ("yhot", ctypes.c_ushort), ("cursor_serial", ctypes.c_ulong),
                ("pixels", ctypes.POINTER(ctypes.c_ulong)), ("atom", ctypes.c_ulong),
                ("name", ctypes.c_char_p)]


def load(name: str) -> ctypes.CDLL:
    return ctypes.CDLL(ctypes.util.find_library(name) or f"lib{name}.so")


def main() -> int:
    x11 = load("X11")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        print("x11-probe: cannot open the display", file=sys.stderr)
        return 2
    what = sys.argv[1] if len(sys.argv) > 1 else ""
    if what == "saver":
        xss = load("Xss")
        xss.XScreenSaverQueryInfo.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                              ctypes.POINTER(ScreenSaverInfo)]
        info = ScreenSaverInfo()
        if not xss.XScreenSaverQueryInfo(display, x11.XDefaultRootWindow(display),
                                         ctypes.byref(info)):
            return 2
        print({0: "off", 1: "on", 3: "disabled"}.get(info.state, str(info.state)))
        return 0
    if what == "cursor":
        xfixes = load("Xfixes")
        xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
        xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        image = xfixes.XFixesGetCursorImage(display).contents
        pixels = [image.pixels[i] for i in range(image.width * image.height)]
        # ARGB per pixel: a blank cursor has no pixel with any alpha.
        print("visible" if any(p & 0xFF000000 for p in pixels) else "blank")
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
