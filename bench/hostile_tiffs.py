#!/usr/bin/env python3
"""Writes TIFF files that declare far more pixels than they hold bytes: one
strip of Deflate-compressed zeros, 12900 x 12900 unless told otherwise, in
RGB, CMYK and CMYK with alpha (8 bits), plus 16-bit CMYK. Usage:
hostile_tiffs.py FOLDER [SIDE]"""
import struct
import sys
import zlib
from pathlib import Path


def deflated_zeros(size):
    packer = zlib.compressobj(9)
    block = bytes(1 << 20)
    out = []
    while size > 0:
        out.append(packer.compress(block[: min(size, len(block))]))
        size -= len(block)
    out.append(packer.flush())
    return b"".join(out)


def tiff(side, samples, bits, photometric, extra=None):
    data = deflated_zeros(side * side * samples * bits // 8)
    entries = []  # (tag, type, count, value or bytes)
    bits_offset = 8 + len(data)
    extra_bytes = struct.pack("<%dH" % samples, *([bits] * samples))
    entries.append((256, 4, 1, side))
    entries.append((257, 4, 1, side))
    entries.append((258, 3, samples, bits if samples == 1 else ("bits", extra_bytes)))
    entries.append((259, 3, 1, 8))
    entries.append((262, 3, 1, photometric))
    entries.append((273, 4, 1, 8))
    entries.append((277, 3, 1, samples))
    entries.append((278, 4, 1, side))
    entries.append((279, 4, 1, len(data)))
    entries.append((284, 3, 1, 1))
    if extra is not None:
        entries.append((338, 3, 1, extra))
    blob = bytearray()
    ifd_offset = bits_offset + len(extra_bytes)
    ifd_offset += ifd_offset % 2
    out = bytearray(b"II*\0" + struct.pack("<I", ifd_offset)) + data + extra_bytes
    if len(out) % 2:
        out += b"\0"
    out += struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        if isinstance(value, tuple):
            out += struct.pack("<HHII", tag, kind, count, bits_offset)
        elif kind == 3:
            out += struct.pack("<HHIHH", tag, kind, count, value, 0)
        else:
            out += struct.pack("<HHII", tag, kind, count, value)
    out += struct.pack("<I", 0)
    return bytes(out)


def main():
    folder = Path(sys.argv[1])
    side = int(sys.argv[2]) if len(sys.argv) > 2 else 12900
    folder.mkdir(parents=True, exist_ok=True)
    for name, samples, bits, photometric, extra in [
        ("rgb", 3, 8, 2, None),
        ("cmyk", 4, 8, 5, None),
        ("cmyk-alpha", 5, 8, 5, 2),
        ("cmyk16", 4, 16, 5, None),
    ]:
        path = folder / ("zeros-%d-%s.tif" % (side, name))
        path.write_bytes(tiff(side, samples, bits, photometric, extra))
        print(path, path.stat().st_size)


main()
