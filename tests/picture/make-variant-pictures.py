#!/usr/bin/python3
"""Writes BMP and TIFF variants into OUTPUT and lists them in
OUTPUT/variants.txt, one "name family expectation" line each:

  bmp-good, bmp-questionable   the decoder must show them as ImageMagick does
  bmp-bad, tiff-bad            the decoder must refuse them
  tiff-good                    the decoder must show them as tiff2rgba, or
                               where it cannot read them ImageMagick, does

NAME.ppm, where present, is the picture as written, for the few files
ImageMagick reads differently from the format's definition.

Every file is made here from raw bytes (struct and zlib), and a few TIFFs
through tiffcp and ImageMagick's convert; nothing is fetched. With --small
the pictures are 9 x 5 pixels, a few hundred bytes each: the fuzzers' seeds.
"""
import math
import os
import struct
import subprocess
import sys
import zlib

WIDTH, HEIGHT = 37, 23


def colour(x, y):
    """Gradients across and down, a diagonal band and a half-transparent
    corner, so channel mix-ups, flips and lost alpha all show."""
    r = x * 255 // max(1, WIDTH - 1)
    g = y * 255 // max(1, HEIGHT - 1)
    b = 255 if (x + y) % 7 < 2 else (x * y * 5) % 256
    a = 255 if x < WIDTH // 2 else 96 + (y * 7) % 120
    return r, g, b, a


def index(x, y, entries):
    return (x * 7 + y * 3) % entries


def grey_palette(entries):
    return [((i * 255 // max(1, entries - 1)), (i * 97) % 256, 255 - i * 255 // max(1, entries - 1))
            for i in range(entries)]


# BMP ------------------------------------------------------------------------

def pack_bits(values, bits):
    out = bytearray()
    acc = nbits = 0
    for v in values:
        acc = acc << bits | v
        nbits += bits
        while nbits >= 8:
            nbits -= 8
            out.append(acc >> nbits & 255)
    if nbits:
        out.append(acc << (8 - nbits) & 255)
    return bytes(out)


def padded(row, align=4):
    return row + b"\0" * (-len(row) % align)


def widen(c, mask):
    """The value of an 8-bit channel in a bit field."""
    if not mask:
        return 0
    shift = (mask & -mask).bit_length() - 1
    top = mask >> shift
    return (c * top + 127) // 255 << shift


def bmp(width, height, bits, rows, info_size=40, compression=0, palette=(), masks=None,
        top_down=False, colours_used=None, planes=1, palette_entry=4, profile=b"",
        data_offset=None, file_size=None):
    """rows: the stored rows, first stored first, already packed (or the whole
    run-length data as one item)."""
    pixels = b"".join(rows)
    colours = b"".join(bytes((b, g, r)) + (b"\0" if palette_entry == 4 else b"")
                       for r, g, b in palette)
    h = -height if top_down else height
    if info_size == 12:
        info = struct.pack("<IHHHH", 12, width, height, planes, bits)
    else:
        used = len(palette) if colours_used is None else colours_used
        info = struct.pack("<IiiHHIIiiII", info_size, width, h, planes, bits, compression,
                           len(pixels), 2835, 2835, used, 0)
        mask_bytes = b""
        if masks is not None:
            mask_bytes = struct.pack("<" + "I" * len(masks), *masks)
        if info_size == 40:
            info += mask_bytes
        else:
            extra = (mask_bytes + b"\0" * 16)[:16]
            info += extra
            if info_size >= 108:
                info += struct.pack("<I", 0x4D424544 if profile else 0x73524742) + b"\0" * 48
            if info_size >= 124:
                info += struct.pack("<IIII", 4, 0, len(profile), 0)
            info = info[:info_size] + b"\0" * max(0, info_size - len(info))
    offset = 14 + len(info) + len(colours) if data_offset is None else data_offset
    body = info + colours + pixels
    if profile:
        profile_at = len(body)
        body += profile
        # The profile's place counts from the start of the info header.
        body = body[:112] + struct.pack("<I", profile_at) + body[116:]
    size = 14 + len(body) if file_size is None else file_size
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset) + body


def indexed_rows(bits, entries, top_down=False):
    rows = [padded(pack_bits([index(x, y, entries) for x in range(WIDTH)], bits))
            for y in range(HEIGHT)]
    return rows if top_down else rows[::-1]


def field_rows(bits, masks, top_down=False):
    rows = []
    for y in range(HEIGHT):
        row = bytearray()
        for x in range(WIDTH):
            c = colour(x, y)
            value = 0
            for channel, mask in zip(c, masks):
                value |= widen(channel, mask)
            row += value.to_bytes(bits // 8, "little")
        rows.append(padded(bytes(row)))
    return rows if top_down else rows[::-1]


def bgr_rows(top_down=False):
    rows = [padded(b"".join(bytes(colour(x, y)[2::-1]) for x in range(WIDTH)))
            for y in range(HEIGHT)]
    return rows if top_down else rows[::-1]


def fixed_rows():
    """64 bits: blue, green, red, alpha, linear light in signed 2.13."""
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    rows = []
    for y in range(HEIGHT - 1, -1, -1):
        row = b""
        for x in range(WIDTH):
            r, g, b, a = colour(x, y)
            row += struct.pack("<hhhh", *(round(linear(c) * 8192) for c in (b, g, r)),
                               round(a / 255 * 8192))
        rows.append(row)
    return rows


def rle(bits, entries, early_end=False, skip=False):
    """RLE8 or RLE4 data of the indexed pattern, bottom-up, with runs,
    literal stretches, optionally a delta and an early end."""
    data = bytearray()
    rows = [[index(x, y, entries) for x in range(WIDTH)] for y in range(HEIGHT)][::-1]
    # A run of one index at the start of every row, then literals.
    for y, row in enumerate(rows):
        if early_end and y == HEIGHT // 2:
            return bytes(data + b"\0\1")
        if skip and y == 3:
            data += b"\0\2" + bytes((5, 2))
            continue
        if skip and y == 4:
            continue
        start = 0
        if skip and y == 5:
            start = 5
        run = 6
        value = row[start] if bits == 8 else row[start] << 4 | row[start]
        data += bytes((run, value))
        x = start + run
        while x < WIDTH:
            n = min(WIDTH - x, 40)
            if n < 3:
                value = row[x] if bits == 8 else row[x] << 4 | row[x]
                data += bytes((n, value))
            else:
                literal = row[x:x + n]
                packed = bytes(literal) if bits == 8 else pack_bits(literal, 4)
                data += bytes((0, n)) + packed + b"\0" * (len(packed) % 2)
            x += n
        data += b"\0\0"
    return bytes(data + b"\0\1")


def shown_field(c, mask):
    """What a reader shows of an 8-bit channel stored in a bit field: the
    stored value widened to the full range."""
    if not mask:
        return 0
    top = mask >> (mask & -mask).bit_length() - 1
    stored = (c * top + 127) // 255
    return (stored * 255 + top // 2) // top


def ppm(pixel):
    """The picture as a binary PPM, colours laid over black."""
    return b"P6 %d %d 255\n" % (WIDTH, HEIGHT) + bytes(
        v for y in range(HEIGHT) for x in range(WIDTH) for v in pixel(x, y))


def fields_truth(masks):
    def pixel(x, y):
        c = colour(x, y)
        a = shown_field(c[3], masks[3]) if len(masks) > 3 else 255
        return [(shown_field(v, m) * a + 127) // 255 for v, m in zip(c, masks[:3])]
    return ppm(pixel)


def indexed_truth(palette, entries):
    return ppm(lambda x, y: palette[index(x, y, entries)])


def icc_profile():
    """A minimal ICC header: enough bytes to carry through."""
    body = b"lcms" + b"\x04\x30\0\0" + b"mntrRGB XYZ " + b"\0" * 12 + b"acsp" + b"\0" * 88
    return struct.pack(">I", len(body) + 4) + body


def bmps():
    pal = {n: grey_palette(1 << n) for n in (1, 2, 4, 8)}
    good = {
        "pal1": bmp(WIDTH, HEIGHT, 1, indexed_rows(1, 2), palette=pal[1]),
        "pal4": bmp(WIDTH, HEIGHT, 4, indexed_rows(4, 16), palette=pal[4]),
        "pal8": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256), palette=pal[8]),
        "pal8-topdown": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256, True), palette=pal[8],
                            top_down=True),
        "pal8-short-palette": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 11), palette=pal[8][:11]),
        "pal4-rle": bmp(WIDTH, HEIGHT, 4, [rle(4, 16)], compression=2, palette=pal[4]),
        "pal8-rle": bmp(WIDTH, HEIGHT, 8, [rle(8, 256)], compression=1, palette=pal[8]),
        "pal8-os2v1": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256), info_size=12, palette=pal[8],
                          palette_entry=3),
        "rgb24-os2v1": bmp(WIDTH, HEIGHT, 24, bgr_rows(), info_size=12),
        "pal8-os2v2-16": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256), info_size=16,
                             palette=pal[8]),
        "pal4-os2v2-64": bmp(WIDTH, HEIGHT, 4, indexed_rows(4, 16), info_size=64,
                             palette=pal[4]),
        "rgb16-555": bmp(WIDTH, HEIGHT, 16, field_rows(16, (0x7C00, 0x3E0, 0x1F))),
        "rgb16-565": bmp(WIDTH, HEIGHT, 16, field_rows(16, (0xF800, 0x7E0, 0x1F)),
                         compression=3, masks=(0xF800, 0x7E0, 0x1F)),
        "rgb24": bmp(WIDTH, HEIGHT, 24, bgr_rows()),
        "rgb24-topdown": bmp(WIDTH, HEIGHT, 24, bgr_rows(True), top_down=True),
        "rgb32": bmp(WIDTH, HEIGHT, 32, field_rows(32, (0xFF0000, 0xFF00, 0xFF))),
        "rgb32-fields": bmp(WIDTH, HEIGHT, 32, field_rows(32, (0xFF00, 0xFF0000, 0xFF000000)),
                            compression=3, masks=(0xFF00, 0xFF0000, 0xFF000000)),
        "rgb32-h52": bmp(WIDTH, HEIGHT, 32, field_rows(32, (0xFF0000, 0xFF00, 0xFF)),
                         info_size=52, compression=3, masks=(0xFF0000, 0xFF00, 0xFF)),
        "rgba32-h56": bmp(WIDTH, HEIGHT, 32,
                          field_rows(32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)), info_size=56,
                          compression=3, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
        "rgba32-v4": bmp(WIDTH, HEIGHT, 32,
                         field_rows(32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)), info_size=108,
                         compression=3, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
        "rgba32-v5-profile": bmp(WIDTH, HEIGHT, 32,
                                 field_rows(32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
                                 info_size=124, compression=3,
                                 masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                                 profile=icc_profile()),
        "pal8-v5": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256), info_size=124, palette=pal[8]),
    }
    questionable = {
        "pal2": bmp(WIDTH, HEIGHT, 2, indexed_rows(2, 4), palette=pal[2]),
        "pal8-rle-early-end": bmp(WIDTH, HEIGHT, 8, [rle(8, 256, early_end=True)],
                                  compression=1, palette=pal[8]),
        "pal8-rle-delta": bmp(WIDTH, HEIGHT, 8, [rle(8, 256, skip=True)], compression=1,
                              palette=pal[8]),
        "pal8-oversize-palette": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256),
                                     palette=pal[8] + pal[8][:44]),
        "rgb16-231": bmp(WIDTH, HEIGHT, 16, field_rows(16, (0x30, 0xE, 0x1)), compression=3,
                         masks=(0x30, 0xE, 0x1)),
        "rgba16-4444": bmp(WIDTH, HEIGHT, 16, field_rows(16, (0xF00, 0xF0, 0xF, 0xF000)),
                           compression=6, masks=(0xF00, 0xF0, 0xF, 0xF000)),
        "rgb32-111110": bmp(WIDTH, HEIGHT, 32, field_rows(32, (0xFFE00000, 0x1FFC00, 0x3FF)),
                            compression=3, masks=(0xFFE00000, 0x1FFC00, 0x3FF)),
        "rgba32-1010102": bmp(WIDTH, HEIGHT, 32,
                              field_rows(32, (0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000)),
                              info_size=124, compression=3,
                              masks=(0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000)),
        "rgb24-fields": bmp(WIDTH, HEIGHT, 24, bgr_rows(), compression=3,
                            masks=(0xFF0000, 0xFF00, 0xFF)),
        "rgba64": bmp(WIDTH, HEIGHT, 64, fixed_rows(), info_size=124),
    }
    plain = bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256), palette=pal[8])
    rle8 = rle(8, 256)
    bad = {
        "bad-header-size-41": plain[:14] + struct.pack("<I", 41) + plain[18:],
        "bad-header-size-200": plain[:14] + struct.pack("<I", 200) + plain[18:],
        "bad-planes": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256), palette=pal[8], planes=2),
        "bad-depth-7": bmp(WIDTH, HEIGHT, 7, indexed_rows(8, 256), palette=pal[8]),
        "bad-rle8-at-4-bits": bmp(WIDTH, HEIGHT, 4, [rle8], compression=1, palette=pal[4]),
        "bad-width-0": bmp(0, HEIGHT, 8, indexed_rows(8, 256), palette=pal[8]),
        "bad-height-0": bmp(WIDTH, 0, 8, [b"\0" * 40], palette=pal[8]),
        "bad-data-past-end": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256), palette=pal[8],
                                 data_offset=60000),
        "bad-cut-short": plain[:-100],
        "bad-rle-run-past-row": bmp(WIDTH, HEIGHT, 8, [bytes((WIDTH + 5, 1)) + rle8],
                                    compression=1, palette=pal[8]),
        "bad-rle-delta-past-top": bmp(WIDTH, HEIGHT, 8, [b"\0\2\0" + bytes((HEIGHT + 2,)) + rle8],
                                      compression=1, palette=pal[8]),
        "bad-rle-literal-past-row": bmp(WIDTH, HEIGHT, 8,
                                        [b"\0" + bytes((WIDTH + 3,)) + bytes(WIDTH + 4)],
                                        compression=1, palette=pal[8]),
        "bad-rle-cut-short": bmp(WIDTH, HEIGHT, 8, [rle8[:len(rle8) // 2]], compression=1,
                                 palette=pal[8]),
        "bad-rle-rows-past-top": bmp(WIDTH, HEIGHT, 8, [rle8[:-2] + b"\1\1\0\0" * 3 + b"\0\1"],
                                     compression=1, palette=pal[8]),
        "bad-embedded-jpeg": bmp(WIDTH, HEIGHT, 0, [b"\xff\xd8\xff\xe0" + bytes(60)],
                                 compression=4),
        "bad-embedded-png": bmp(WIDTH, HEIGHT, 0, [b"\x89PNG\r\n\x1a\n" + bytes(60)],
                                compression=5),
        "bad-palette-too-long": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256), palette=pal[8],
                                    colours_used=100000),
        "bad-empty-masks": bmp(WIDTH, HEIGHT, 16, field_rows(16, (0x7C00, 0x3E0, 0x1F)),
                               compression=3, masks=(0, 0, 0)),
        "bad-os2-huffman": bmp(WIDTH, HEIGHT, 1, indexed_rows(1, 2), info_size=64,
                               compression=3, palette=pal[1]),
        "bad-compression-99": bmp(WIDTH, HEIGHT, 8, indexed_rows(8, 256), palette=pal[8],
                                  compression=99),
    }
    # ImageMagick 6 reads these differently from the format's definition
    # (OS/2 2.x palettes of three bytes an entry instead of four, an alpha
    # in 52-byte headers, bit fields shifted instead of widened) or not at
    # all. They are checked against the picture as it was written.
    half = HEIGHT - 1 - HEIGHT // 2
    truth = {
        "pal2": indexed_truth(pal[2], 4),
        "pal8-os2v2-16": indexed_truth(pal[8], 256),
        "pal8-oversize-palette": indexed_truth(pal[8], 256),
        "pal8-rle-early-end": ppm(lambda x, y: pal[8][index(x, y, 256) if y > half else 0]),
        "rgba16-4444": fields_truth((0xF00, 0xF0, 0xF, 0xF000)),
        "rgba32-h56": fields_truth((0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
        "rgba64": fields_truth((0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
        "pal4-os2v2-64": indexed_truth(pal[4], 16),
        "rgb32-h52": fields_truth((0xFF0000, 0xFF00, 0xFF)),
        "rgb16-231": fields_truth((0x30, 0xE, 0x1)),
        "rgba32-1010102": fields_truth((0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000)),
    }
    for family, items in (("bmp-good", good), ("bmp-questionable", questionable),
                          ("bmp-bad", bad)):
        for name, data in items.items():
            yield f"{name}.bmp", family, data
            if name in truth:
                yield f"{name}.bmp.ppm", None, truth[name]


# TIFF -----------------------------------------------------------------------

def tiff(width, height, samples, bits, photometric, planes_data, sample_format=1,
         extra_samples=(), colormap=None, compression=1, more=()):
    """A little-endian TIFF, one strip per plane (planar when there is
    more than one); more are extra (tag, type, count, values) entries."""
    entries = []
    blobs = []

    def entry(tag, kind, values):
        entries.append((tag, kind, list(values)))

    entry(256, 4, [width])
    entry(257, 4, [height])
    entry(258, 3, [bits] * samples)
    entry(259, 3, [compression])
    entry(262, 3, [photometric])
    entry(277, 3, [samples])
    entry(278, 4, [height])
    entry(284, 3, [2 if len(planes_data) > 1 else 1])
    entry(339, 3, [sample_format] * samples)
    if extra_samples:
        entry(338, 3, extra_samples)
    if colormap:
        entry(320, 3, colormap)
    for tag, kind, values in more:
        entry(tag, kind, values)
    entry(273, 4, [0] * len(planes_data))
    entry(279, 4, [len(p) for p in planes_data])
    entries.sort()

    out = bytearray(b"II*\0\0\0\0\0")
    offsets = []
    for plane in planes_data:
        offsets.append(len(out))
        out += plane + b"\0" * (len(plane) & 1)
    sizes = {3: 2, 4: 4, 11: 4, 12: 8}
    formats = {3: "H", 4: "I", 11: "f", 12: "d"}
    for i, (tag, kind, values) in enumerate(entries):
        if tag == 273:
            entries[i] = (tag, kind, offsets)
    ifd_at = len(out)
    out[4:8] = struct.pack("<I", ifd_at)
    ifd = struct.pack("<H", len(entries))
    data_at = ifd_at + 2 + 12 * len(entries) + 4
    extra = bytearray()
    for tag, kind, values in entries:
        packed = struct.pack("<" + formats[kind] * len(values), *values)
        if len(packed) <= 4:
            field = packed + b"\0" * (4 - len(packed))
        else:
            field = struct.pack("<I", data_at + len(extra))
            extra += packed + b"\0" * (len(packed) & 1)
        ifd += struct.pack("<HHI", tag, kind, len(values)) + field
    return bytes(out + ifd + b"\0\0\0\0" + extra)


def samples_of(x, y, channels):
    """The picture's channels at x, y as fractions 0..1: grey, or red,
    green, blue, then alpha."""
    r, g, b, a = colour(x, y)
    grey = (r * 3 + g * 6 + b) / 2550
    base = [grey] if channels in (1, 2) else [r / 255, g / 255, b / 255]
    if channels in (2, 4):
        base.append(a / 255)
    return base


def encode_sample(value, bits, sample_format):
    """value 0..1 as a sample; signed samples use the upper half only."""
    if sample_format == 3:
        return value
    top = (1 << bits) - 1
    if sample_format == 2:
        top = (1 << (bits - 1)) - 1
    return round(value * top)


def sample_rows(channels, bits, sample_format=1, planar=False, associated=False):
    """The strip data: one plane, or one per channel when planar."""
    def samples(x, y):
        values = samples_of(x, y, channels)
        if associated:
            values = [v * values[-1] for v in values[:-1]] + [values[-1]]
        return [encode_sample(v, bits, sample_format) for v in values]

    def packed_row(values):
        if sample_format == 3:
            code = {16: "e", 32: "f", 64: "d"}[bits]
            return struct.pack("<" + code * len(values), *values)
        if bits in (8, 16, 32) :
            code = {8: "B", 16: "H", 32: "I"}[bits]
            if sample_format == 2:
                code = code.lower()
            return struct.pack("<" + code * len(values), *values)
        mask = (1 << bits) - 1
        return pack_bits([v & mask for v in values], bits)

    if not planar:
        return [b"".join(packed_row([s for x in range(WIDTH) for s in samples(x, y)])
                         for y in range(HEIGHT))]
    return [b"".join(packed_row([samples(x, y)[c] for x in range(WIDTH)]) for y in range(HEIGHT))
            for c in range(channels)]


def tiff_variant(channels, bits, sample_format=1, planar=False, alpha_kind=2, compression=1):
    photometric = 1 if channels <= 2 else 2
    extra = (alpha_kind,) if channels in (2, 4) else ()
    data = sample_rows(channels, bits, sample_format, planar, associated=alpha_kind == 1)
    if compression == 8:
        data = [zlib.compress(p) for p in data]
    return tiff(WIDTH, HEIGHT, channels, bits, photometric, data, sample_format, extra,
                compression=compression)


def grey_alpha_truth(bits):
    top = (1 << bits) - 1

    def level(v):
        return (encode_sample(v, bits, 1) * 255 + top // 2) // top

    def pixel(x, y):
        grey, alpha = samples_of(x, y, 2)
        shown = (level(grey) * level(alpha) + 127) // 255
        return shown, shown, shown
    return ppm(pixel)


def first_strip(path):
    """The strip of a one-strip TIFF and the tags around it, as bytes."""
    data = open(path, "rb").read()
    little = data[:2] == b"II"
    e = "<" if little else ">"
    ifd = struct.unpack(e + "I", data[4:8])[0]
    count = struct.unpack(e + "H", data[ifd:ifd + 2])[0]
    tags = {}
    for i in range(count):
        at = ifd + 2 + 12 * i
        tag, kind, n = struct.unpack(e + "HHI", data[at:at + 8])
        value = struct.unpack(e + ("H" if kind == 3 else "I"), data[at + 8:at + (10 if kind == 3 else 12)])[0]
        tags[tag] = value
    return data[tags[273]:tags[273] + tags[279]], tags


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def tiffs(output):
    good = {}
    for bits in (1, 2, 4, 8, 12, 16):
        good[f"grey{bits}"] = tiff_variant(1, bits)
    for bits in (2, 4, 8, 12, 16):
        good[f"rgb{bits}"] = tiff_variant(3, bits)
        good[f"rgb{bits}-planar"] = tiff_variant(3, bits, planar=True)
    for bits in (2, 4, 8, 16):
        good[f"greya{bits}-planar"] = tiff_variant(2, bits, planar=True)
        good[f"rgba{bits}"] = tiff_variant(4, bits)
    good["rgba8-associated"] = tiff_variant(4, 8, alpha_kind=1)
    good["rgba16-planar-deflate"] = tiff_variant(4, 16, planar=True, compression=8)
    good["rgb12-deflate"] = tiff_variant(3, 12, compression=8)
    for bits in (16, 32, 64):
        good[f"grey-float{bits}"] = tiff_variant(1, bits, sample_format=3)
        good[f"rgb-float{bits}"] = tiff_variant(3, bits, sample_format=3)
    good["rgb-float32-planar"] = tiff_variant(3, 32, sample_format=3, planar=True)
    # Floats beyond 0 to 1 are shown from 0 to their largest value.
    wide = [[samples_of(x, y, 1)[0] * 1000 + 50 for x in range(WIDTH)] for y in range(HEIGHT)]
    good["grey-float32-wide"] = tiff(WIDTH, HEIGHT, 1, 32, 1,
                                     [b"".join(struct.pack("<%df" % WIDTH, *row) for row in wide)],
                                     sample_format=3)
    top = max(max(row) for row in wide)
    for bits in (8, 16):
        good[f"grey-signed{bits}"] = tiff_variant(1, bits, sample_format=2)
    pal = grey_palette(16)
    colormap = [c[i] * 257 for i in range(3) for c in pal]
    good["palette4"] = tiff(WIDTH, HEIGHT, 1, 4, 3,
                            [b"".join(pack_bits([index(x, y, 16) for x in range(WIDTH)], 4)
                                      for y in range(HEIGHT))], colormap=colormap)
    good["white-is-zero4"] = tiff(WIDTH, HEIGHT, 1, 4, 0, sample_rows(1, 4))

    # A fax page, and the same page cut short after its first lines while
    # its strip's size still matches the data.
    page = os.path.join(output, "page.pbm")
    lines = HEIGHT * 40
    with open(page, "wb") as out:
        out.write(b"P4 %d %d\n" % (WIDTH * 8, lines))
        row_bytes = WIDTH
        for y in range(lines):
            out.write(bytes(((x * 37 + y * 11) % 251) & (0xF0 if y % 3 else 0x0F)
                            for x in range(row_bytes)))
    fax = os.path.join(output, "fax.tif")
    run("convert", page, "-compress", "group4", "-define", "tiff:rows-per-strip=100000", fax)
    os.remove(page)
    strip, tags = first_strip(fax)
    good["fax-g4"] = open(fax, "rb").read()
    os.remove(fax)
    cut = strip[:len(strip) // 40]
    bad = {
        "bad-fax-g4-cut-short": tiff(tags[256], tags[257], 1, 1, 0, [cut], compression=4),
        "bad-deflate-cut-short": tiff(WIDTH, HEIGHT, 3, 8, 2,
                                      [zlib.compress(sample_rows(3, 8)[0])[:60]], compression=8),
        "bad-lzw-garbage": tiff(WIDTH, HEIGHT, 3, 8, 2, [bytes(range(256)) * 3], compression=5),
    }
    # Neither tiff2rgba nor ImageMagick 6 reads these right: checked
    # against the picture as written.
    truth = {f"greya{bits}-planar": grey_alpha_truth(bits) for bits in (2, 4)}
    truth["grey-float32-wide"] = ppm(lambda x, y: [round(wide[y][x] / top * 255)] * 3)
    for family, items in (("tiff-good", good), ("tiff-bad", bad)):
        for name, data in items.items():
            yield f"{name}.tif", family, data
            if name in truth:
                yield f"{name}.tif.ppm", None, truth[name]


def main():
    arguments = [a for a in sys.argv[1:] if a != "--small"]
    if len(arguments) != 1:
        sys.exit("usage: make-variant-pictures.py [--small] OUTPUT")
    if "--small" in sys.argv:
        global WIDTH, HEIGHT
        WIDTH, HEIGHT = 9, 5
    output = arguments[0]
    os.makedirs(output, exist_ok=True)
    lines = []
    for name, family, data in list(bmps()) + list(tiffs(output)):
        with open(os.path.join(output, name), "wb") as out:
            out.write(data)
        if family:
            lines.append(f"{name} {family} {'refused' if family.endswith('bad') else 'shown'}\n")
    with open(os.path.join(output, "variants.txt"), "w") as out:
        out.writelines(lines)
    print(f"{len(lines)} pictures in {output}")


main()
