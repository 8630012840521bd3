#!/usr/bin/python3
"""Writes pictures made to hurt a decoder into OUTPUT, and the print-shop
TIFF variants that must load, for the hostile-file measurement
(bench/hostile.sh). Everything is made from raw bytes or drawn here.

Crafted files: progressive JPEGs declaring a huge size with one real scan
followed by thousands of empty ones (each costs a full pass over the
coefficients); TIFFs of 12900 x 12900 in one strip of deflated zeros; RLE
BMPs of 12900 x 12900 that end at once and leave their size field 0; half
a JPEG with its end marker appended; half an RLE BMP with size field 0.
"""
import io
import os
import struct
import subprocess
import sys
import zlib

from PIL import Image


def segment(marker, body):
    return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body


def progressive_jpeg(size, components, empty_scans):
    """A progressive JPEG whose DC scan holds a few bytes (the decoder pads
    the rest with zeros, i.e. flat grey), then empty AC scans of the first
    component. The one Huffman code is '0': category 0 for DC, end of band
    for AC, so missing data decodes as valid and every scan is a full pass."""
    out = b"\xff\xd8"
    out += segment(0xDB, b"\x00" + bytes([1] * 64))
    frame = struct.pack(">BHHB", 8, size, size, components)
    for cid in range(1, components + 1):
        frame += bytes((cid, 0x11, 0))
    out += segment(0xC2, frame)
    one_code = bytes([1] + [0] * 15) + b"\x00"
    out += segment(0xC4, b"\x00" + one_code)  # DC table 0
    out += segment(0xC4, b"\x10" + one_code)  # AC table 0
    dc = bytes((components,)) + b"".join(bytes((cid, 0x00)) for cid in range(1, components + 1))
    out += segment(0xDA, dc + bytes((0, 0, 0)))
    out += b"\x00" * 16
    ac = bytes((1, 1, 0x00, 1, 63, 0))
    out += segment(0xDA, ac) * empty_scans
    return out + b"\xff\xd9"


def deflated_zeros(count):
    compressor = zlib.compressobj(9)
    block = bytes(1 << 24)
    parts = []
    while count > 0:
        parts.append(compressor.compress(block[:min(count, len(block))]))
        count -= len(block)
    parts.append(compressor.flush())
    return b"".join(parts)


def tiff(width, height, samples, photometric, strip, extra=(), bits=8):
    """A little-endian TIFF with one Deflate strip; extra are (tag, type,
    count, value) entries."""
    bits_offset = 8
    data_offset = bits_offset + 2 * samples
    entries = [(256, 4, 1, width), (257, 4, 1, height),
               (258, 3, samples, bits if samples == 1 else bits_offset), (259, 3, 1, 8),
               (262, 3, 1, photometric), (273, 4, 1, data_offset), (277, 3, 1, samples),
               (278, 4, 1, height), (279, 4, 1, len(strip)), (284, 3, 1, 1)]
    entries = sorted(entries + list(extra))
    ifd_offset = data_offset + len(strip) + (len(strip) & 1)
    header = b"II*\x00" + struct.pack("<I", ifd_offset)
    body = header + struct.pack("<" + "H" * samples, *[bits] * samples) + strip
    body += b"\x00" * (len(strip) & 1)
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        packed = struct.pack("<H", value) + b"\0\0" if kind == 3 and count == 1 \
            else struct.pack("<I", value)
        ifd += struct.pack("<HHI", tag, kind, count) + packed
    return body + ifd + struct.pack("<I", 0)


def bmp_header(width, height, bits, compression, palette_size, data_size, file_size_field=None):
    offset = 14 + 40 + 4 * palette_size
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, data_size,
                       2835, 2835, palette_size, 0)
    size = file_size_field if file_size_field is not None else offset + data_size
    return b"BM" + struct.pack("<IHHI", size, 0, 0, offset) + info


def huge_rle_bmp(bits):
    """12900 x 12900 whose data ends at once; size fields 0."""
    palette = 1 << bits
    colours = b"".join(bytes((i, i, i, 0)) for i in range(0, 256, 256 // palette))
    return bmp_header(12900, 12900, bits, 1 if bits == 8 else 2, palette, 0, 0) + colours + \
        b"\x00\x01"


def photo(width, height):
    """Gradients and stripes, so that it compresses like a photo."""
    image = Image.new("RGB", (width, height))
    image.putdata([((x * 255 // width) ^ (y & 31), (y * 255 // height), ((x + y) // 7) & 255)
                   for y in range(height) for x in range(width)])
    return image


def half_jpeg_with_end():
    out = io.BytesIO()
    photo(1600, 1200).save(out, format="JPEG", quality=90)
    data = out.getvalue()
    return data[:len(data) // 2] + b"\xff\xd9"


def half_rle_bmp():
    """A real RLE8 picture of 1000 x 800, cut in half, size fields 0."""
    width, height = 1000, 800
    data = bytearray()
    for y in range(height):
        x = 0
        while x < width:
            run = min(255, width - x, 37 + (y % 50))
            data += bytes((run, (x // 37 + y // 20) & 255))
            x += run
        data += b"\x00\x00"
    data += b"\x00\x01"
    colours = b"".join(bytes((i, 255 - i, (i * 7) & 255, 0)) for i in range(256))
    whole = bmp_header(width, height, 8, 1, 256, 0, 0) + colours + bytes(data)
    return whole[:len(whole) // 2]


def print_shop_tiffs(output):
    """Small CMYK TIFFs, 8 and 16 bits, with and without alpha, in strips
    and in tiles: these must load."""
    source = os.path.join(output, "source.png")
    photo(600, 400).save(source)
    names = []
    for depth in (8, 16):
        for alpha in (False, True):
            for layout in ("strips", "tiles"):
                name = f"print-cmyk{'a' if alpha else ''}{depth}-{layout}.tif"
                options = ["-colorspace", "CMYK", "-depth", str(depth), "-compress", "lzw"]
                options += ["-alpha", "on"] if alpha else ["-alpha", "off"]
                options += ["-define", "tiff:tile-geometry=128x128"] if layout == "tiles" else \
                    ["-define", "tiff:rows-per-strip=64"]
                subprocess.run(["convert", source, *options, os.path.join(output, name)],
                               check=True)
                names.append(name)
    os.remove(source)
    return names


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-hostile-pictures.py OUTPUT")
    output = sys.argv[1]
    os.makedirs(output, exist_ok=True)
    side = 12900
    files = {
        "jpeg-prog-8000-2000scans.jpg": lambda: progressive_jpeg(8000, 3, 2000),
        "jpeg-prog-8000-5000scans.jpg": lambda: progressive_jpeg(8000, 3, 5000),
        "jpeg-prog-14000-1000scans.jpg": lambda: progressive_jpeg(14000, 1, 1000),
        "tiff-12900-rgb-zeros.tif": lambda: tiff(side, side, 3, 2,
                                                 deflated_zeros(side * side * 3)),
        "tiff-12900-cmyk-zeros.tif": lambda: tiff(side, side, 4, 5,
                                                  deflated_zeros(side * side * 4)),
        "tiff-12900-cmyka-zeros.tif": lambda: tiff(side, side, 5, 5,
                                                   deflated_zeros(side * side * 5),
                                                   [(338, 3, 1, 2)]),
        "tiff-12900-cmyk16-zeros.tif": lambda: tiff(side, side, 4, 5,
                                                    deflated_zeros(side * side * 8), bits=16),
        "bmp-12900-rle8-nosize.bmp": lambda: huge_rle_bmp(8),
        "bmp-12900-rle4-nosize.bmp": lambda: huge_rle_bmp(4),
        "jpeg-half-with-end.jpg": half_jpeg_with_end,
        "bmp-rle8-half-nosize.bmp": half_rle_bmp,
    }
    for name, make in files.items():
        with open(os.path.join(output, name), "wb") as out:
            out.write(make())
    for name in list(files) + print_shop_tiffs(output):
        print(f"{name:34} {os.path.getsize(os.path.join(output, name)):>9} bytes")


main()
