#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets into OUTPUT/<target>/: the
whole-picture target takes every picture, the jpeg, bmp, tiff, png, gif,
webp, heif and jxl targets their own format's (HEIF and JPEG XL made with
heif-enc, avifenc and cjxl), with the small variants of
tests/picture/make-variant-pictures.py (every BMP header and depth, TIFF
sample layouts, damaged files) added to the last two.

Every seed is generated here from a drawn test pattern, so no file from
elsewhere enters the corpus. The pictures are small (a few KB) so that the
fuzzer runs many inputs a second, and cover the variants the decoder meets:
JPEG baseline, progressive, grayscale, CMYK, with restart markers and with
every EXIF orientation; BMP from 1 to 32 bits, RLE8, RLE4 and top-down;
TIFF uncompressed, LZW, Deflate, PackBits, JPEG-in-TIFF, tiled, planar,
16-bit, palette and CMYK; and each with embedded colour profiles (RGB, grey,
CMYK), whole, in chunks out of order or missing, damaged and oversized.
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

SIZE = (40, 30)


def pattern(mode="RGB"):
    """Black top left, red bottom right, white elsewhere, and a diagonal."""
    image = Image.new("RGB", SIZE, "white")
    draw = ImageDraw.Draw(image)
    w, h = SIZE
    draw.rectangle([0, 0, w // 2 - 1, h // 2 - 1], fill="black")
    draw.rectangle([w // 2, h // 2, w - 1, h - 1], fill="red")
    draw.line([0, h - 1, w - 1, 0], fill="blue")
    return image.convert(mode)


def saved(image, **options):
    out = io.BytesIO()
    image.save(out, **options)
    return out.getvalue()


def run(*command, stdin=None):
    return subprocess.run(command, input=stdin, stdout=subprocess.PIPE, check=True).stdout


def with_exif_orientation(jpeg, orientation):
    """The JPEG with an APP1 EXIF block holding only the orientation tag."""
    ifd = struct.pack(">H", 1) + struct.pack(">HHIHH", 0x0112, 3, 1, orientation, 0)
    ifd += struct.pack(">I", 0)
    tiff = b"MM\x00\x2a" + struct.pack(">I", 8) + ifd
    body = b"Exif\x00\x00" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + jpeg[2:]


def icc(space, pcs, device_class, tags):
    """A small ICC profile (version 2) of the given tags, written here."""
    table, data = b"", b""
    offset = 128 + 4 + 12 * len(tags)
    for signature, body in tags:
        body += b"\0" * (-len(body) % 4)
        table += signature + struct.pack(">II", offset + len(data), len(body))
        data += body
    size = offset + len(data)
    d50 = struct.pack(">iii", 63190, 65536, 54061)
    header = struct.pack(">I4sI4s4s4s", size, b"lcms", 0x02100000, device_class, space, pcs)
    header += b"\0" * 12 + b"acsp" + b"\0" * 24 + struct.pack(">I", 0) + d50
    header += b"\0" * (128 - len(header))
    return header + struct.pack(">I", len(tags)) + table + data


def xyz(x, y, z):
    return b"XYZ \0\0\0\0" + struct.pack(">iii", *(round(v * 65536) for v in (x, y, z)))


GAMMA_22 = b"curv\0\0\0\0" + struct.pack(">IH", 1, 0x0233)


def rgb_profile():
    """sRGB's primaries adapted to D50, with a 2.2 curve."""
    return icc(b"RGB ", b"XYZ ", b"mntr", [
        (b"wtpt", xyz(0.9642, 1.0, 0.8249)), (b"rXYZ", xyz(0.4361, 0.2225, 0.0139)),
        (b"gXYZ", xyz(0.3851, 0.7169, 0.0971)), (b"bXYZ", xyz(0.1431, 0.0606, 0.7141)),
        (b"rTRC", GAMMA_22), (b"gTRC", GAMMA_22), (b"bTRC", GAMMA_22)])


def grey_profile():
    return icc(b"GRAY", b"XYZ ", b"mntr", [(b"wtpt", xyz(0.9642, 1.0, 0.8249)),
                                            (b"kTRC", GAMMA_22)])


def cmyk_profile():
    """Inks to Lab through a 2-point table: each ink darkens and tints."""
    ramp = bytes(range(256))
    grid = b""
    for c in (0, 1):
        for m in (0, 1):
            for y in (0, 1):
                for k in (0, 1):
                    light = (1 - 0.7 * c) * (1 - 0.8 * m) * (1 - 0.1 * y) * (1 - 0.95 * k)
                    grid += bytes((round(255 * light), 128 + 50 * m - 40 * c, 128 + 70 * y - 50 * c))
    identity = struct.pack(">9i", 65536, 0, 0, 0, 65536, 0, 0, 0, 65536)
    lut = b"mft1\0\0\0\0" + bytes((4, 3, 2, 0)) + identity + ramp * 4 + grid + ramp * 3
    return icc(b"CMYK", b"Lab ", b"prtr", [(b"wtpt", xyz(0.9642, 1.0, 0.8249)),
                                           (b"A2B0", lut)])


def with_icc_chunks(jpeg, profile, chunk, order=None, count=None):
    """The JPEG with profile in APP2 chunks, written in the order given."""
    chunks = [profile[i:i + chunk] for i in range(0, len(profile), chunk)]
    count = count or len(chunks)
    markers = b""
    for sequence in order or range(1, len(chunks) + 1):
        body = b"ICC_PROFILE\0" + bytes((sequence, count)) + chunks[sequence - 1]
        markers += b"\xff\xe2" + struct.pack(">H", len(body) + 2) + body
    return jpeg[:2] + markers + jpeg[2:]


def with_exif_adobe_rgb(jpeg):
    """ColorSpace uncalibrated with interoperability index R03."""
    def entry(tag, kind, count, value):
        packed = struct.pack(">H", value) + b"\0\0" if kind == 3 else value
        return struct.pack(">HHI", tag, kind, count) + packed
    tiff = b"MM\x00\x2a" + struct.pack(">I", 8)
    tiff += struct.pack(">H", 1) + entry(0x8769, 4, 1, struct.pack(">I", 26)) + b"\0" * 4
    tiff += struct.pack(">H", 2) + entry(0xA001, 3, 1, 0xFFFF)
    tiff += entry(0xA005, 4, 1, struct.pack(">I", 56)) + b"\0" * 4
    tiff += struct.pack(">H", 1) + entry(0x0001, 2, 4, b"R03\0") + b"\0" * 4
    body = b"Exif\0\0" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + jpeg[2:]


def profiled():
    rgb = pattern()
    plain = saved(rgb, format="JPEG", quality=80)
    good = rgb_profile()
    yield "icc-rgb.jpg", saved(rgb, format="JPEG", quality=80, icc_profile=good)
    yield "icc-gray.jpg", saved(pattern("L"), format="JPEG", quality=80,
                                icc_profile=grey_profile())
    yield "icc-cmyk.jpg", saved(pattern("CMYK"), format="JPEG", quality=80,
                                icc_profile=cmyk_profile())
    yield "icc-chunks.jpg", with_icc_chunks(plain, good, 100)
    count = (len(good) + 99) // 100
    yield "icc-chunks-shuffled.jpg", with_icc_chunks(plain, good, 100, [2, 1] + list(
        range(3, count + 1))[::-1])
    yield "icc-chunk-missing.jpg", with_icc_chunks(plain, good, 100, [1] + list(
        range(3, count + 1)))
    damaged = bytearray(good)
    for i in range(7):
        damaged[132 + 12 * i + 4:132 + 12 * i + 8] = struct.pack(">I", 0x7FFFFF00)
    yield "icc-damaged.jpg", with_icc_chunks(plain, bytes(damaged), 65519)
    yield "icc-truncated.jpg", with_icc_chunks(plain, good[:200], 65519)
    # A header claiming 2 GB, in chunks claiming 255 of them.
    yield "icc-oversized.jpg", with_icc_chunks(plain, struct.pack(">I", 0x7FFFFFFF) + good[4:],
                                               100, count=255)
    yield "exif-adobe-rgb.jpg", with_exif_adobe_rgb(plain)
    yield "icc-rgb.tif", saved(rgb, format="TIFF", compression="tiff_lzw", icc_profile=good)
    yield "icc-gray.tif", saved(pattern("L"), format="TIFF", icc_profile=grey_profile())
    yield "icc-cmyk.tif", saved(pattern("CMYK"), format="TIFF", icc_profile=cmyk_profile())


def jpegs():
    rgb = pattern()
    yield "baseline.jpg", saved(rgb, format="JPEG", quality=80)
    yield "progressive.jpg", saved(rgb, format="JPEG", quality=80, progressive=True)
    yield "gray.jpg", saved(pattern("L"), format="JPEG", quality=80)
    yield "cmyk.jpg", saved(pattern("CMYK"), format="JPEG", quality=80)
    yield "subsampled.jpg", saved(rgb, format="JPEG", quality=60, subsampling=2)
    ppm = saved(rgb, format="PPM")
    yield "restart.jpg", run("cjpeg", "-restart", "1", stdin=ppm)
    yield "progressive-restart.jpg", run("cjpeg", "-progressive", "-restart", "1", stdin=ppm)
    yield "arithmetic.jpg", run("cjpeg", "-arithmetic", stdin=ppm)
    plain = saved(rgb, format="JPEG", quality=80)
    for orientation in range(1, 9):
        yield f"exif{orientation}.jpg", with_exif_orientation(plain, orientation)


def bmp(pixels, width, height, bits, palette=(), compression=0, top_down=False):
    """A BMP with a 40-byte header; pixels are the stored rows, already packed."""
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits,
                       compression, len(pixels), 2835, 2835, len(palette), 0)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return header + info + colours + pixels


def indexed_rows(image, palette):
    """Rows bottom-up as lists of palette indexes."""
    lookup = {colour: index for index, colour in enumerate(palette)}
    w, h = image.size
    rows = [[lookup.get(image.getpixel((x, y)), 0) for x in range(w)] for y in range(h)]
    return rows[::-1]


def packed(rows, bits):
    data = b""
    for row in rows:
        line = bytearray()
        if bits == 8:
            line = bytearray(row)
        elif bits == 4:
            for x in range(0, len(row), 2):
                line.append(row[x] << 4 | (row[x + 1] if x + 1 < len(row) else 0))
        elif bits == 1:
            for x in range(0, len(row), 8):
                byte = 0
                for bit, value in enumerate(row[x:x + 8]):
                    byte |= (value & 1) << (7 - bit)
                line.append(byte)
        data += bytes(line) + b"\0" * (-len(line) % 4)
    return data


def rle(rows, bits):
    """Run-length data: runs of one index (RLE4 runs hold a pair of nibbles)."""
    data = bytearray()
    for row in rows:
        x = 0
        while x < len(row):
            run_length = 1
            while x + run_length < len(row) and row[x + run_length] == row[x] and run_length < 255:
                run_length += 1
            value = row[x] if bits == 8 else row[x] << 4 | row[x]
            data += bytes((run_length, value))
            x += run_length
        data += b"\0\0"
    return bytes(data + b"\0\1")


def bmps():
    rgb = pattern()
    yield "rgb24.bmp", saved(rgb, format="BMP")
    yield "rgba32.bmp", saved(pattern("RGBA"), format="BMP")
    yield "gray8.bmp", saved(pattern("L"), format="BMP")
    palette = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 0, 255)]
    rows = indexed_rows(rgb, palette)
    w, h = SIZE
    yield "pal8.bmp", bmp(packed(rows, 8), w, h, 8, palette)
    yield "pal4.bmp", bmp(packed(rows, 4), w, h, 4, palette)
    yield "mono1.bmp", bmp(packed([[v & 1 for v in r] for r in rows], 1), w, h, 1, palette[:2])
    yield "topdown8.bmp", bmp(packed(rows[::-1], 8), w, h, 8, palette, top_down=True)
    yield "rle8.bmp", bmp(rle(rows, 8), w, h, 8, palette, compression=1)
    yield "rle4.bmp", bmp(rle(rows, 4), w, h, 4, palette, compression=2)
    rle8 = bmp(rle(rows, 8), w, h, 8, palette, compression=1)
    # Writers may leave the data size at 0 for compressed rows.
    yield "rle8-nosize.bmp", rle8[:34] + b"\0\0\0\0" + rle8[38:]
    rgb555 = b"".join(
        struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
        for y in range(h - 1, -1, -1) for x in range(w) for r, g, b in [rgb.getpixel((x, y))])
    yield "rgb555.bmp", bmp(rgb555, w, h, 16)


def tiffs(scratch):
    rgb = pattern()
    for name in ("raw", "tiff_lzw", "tiff_adobe_deflate", "packbits", "jpeg"):
        yield f"rgb-{name}.tif", saved(rgb, format="TIFF", compression=name)
    yield "gray.tif", saved(pattern("L"), format="TIFF", compression="tiff_lzw")
    yield "gray16.tif", saved(pattern("L").convert("I;16"), format="TIFF")
    yield "palette.tif", saved(rgb.quantize(4), format="TIFF")
    yield "mono.tif", saved(pattern("1"), format="TIFF", compression="group4")
    yield "cmyk.tif", saved(pattern("CMYK"), format="TIFF", compression="tiff_lzw")
    yield "rgba.tif", saved(pattern("RGBA"), format="TIFF", compression="tiff_adobe_deflate")
    source = os.path.join(scratch, "source.tif")
    rgb.save(source, format="TIFF")
    for name, options in [("tiled.tif", ["-t", "-w", "16", "-l", "16", "-c", "lzw"]),
                          ("planar.tif", ["-p", "separate", "-c", "zip"]),
                          ("strips.tif", ["-r", "4", "-c", "packbits"]),
                          ("tiled-jpeg.tif", ["-t", "-w", "16", "-l", "16", "-c", "jpeg"])]:
        target = os.path.join(scratch, name)
        run("tiffcp", *options, source, target)
        yield name, open(target, "rb").read()
    png = os.path.join(scratch, "source.png")
    rgb.save(png)
    for name, options in [("rgb16.tif", ["-depth", "16"]),
                          ("cmyk16.tif", ["-colorspace", "CMYK", "-depth", "16"]),
                          ("cmyka.tif", ["-colorspace", "CMYK", "-alpha", "on"]),
                          ("cmyk-tiled.tif", ["-colorspace", "CMYK", "-define",
                                              "tiff:tile-geometry=16x16"])]:
        target = os.path.join(scratch, name)
        run("convert", png, *options, target)
        yield name, open(target, "rb").read()


def png_chunk(kind, body):
    import zlib
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def with_png_chunks(png, chunks):
    """The PNG with chunks added after its header chunk."""
    return png[:33] + b"".join(png_chunk(kind, body) for kind, body in chunks) + png[33:]


def pngs(scratch):
    """Every colour type and depth, interlaced, and with the chunks the
    decoder reads: profile, sRGB, gamma and primaries, EXIF orientation, an
    animation's control chunks (libpng skips them)."""
    source = os.path.join(scratch, "source.png")
    pattern().save(source)
    alpha = os.path.join(scratch, "alpha.png")
    pattern("RGBA").save(alpha)
    for name, picture, options in [
            ("rgb8.png", source, ["PNG24:"]), ("rgb16.png", source, ["-depth", "16", "PNG48:"]),
            ("rgba8.png", alpha, ["PNG32:"]), ("rgba16.png", alpha, ["-depth", "16", "PNG64:"]),
            ("palette.png", alpha, ["-colors", "16", "PNG8:"]),
            ("grey1.png", source, ["-colorspace", "Gray", "-depth", "1", "-define",
                                   "png:color-type=0", "-define", "png:bit-depth=1", ""]),
            ("grey4.png", source, ["-colorspace", "Gray", "-depth", "4", "-define",
                                   "png:color-type=0", "-define", "png:bit-depth=4", ""]),
            ("greyalpha.png", alpha, ["-colorspace", "Gray", "-define", "png:color-type=4", ""]),
            ("interlaced.png", source, ["-interlace", "PNG", "PNG24:"]),
            ("interlaced-palette.png", alpha, ["-interlace", "PNG", "-colors", "8", "PNG8:"])]:
        target = os.path.join(scratch, name)
        run("convert", picture, *options[:-1], options[-1] + target)
        yield name, open(target, "rb").read()
    plain = saved(pattern(), format="PNG")
    exif = b"MM\x00\x2a" + struct.pack(">IH", 8, 1) + struct.pack(">HHIHH", 0x0112, 3, 1, 6, 0)
    exif += struct.pack(">I", 0)
    yield "exif.png", with_png_chunks(plain, [(b"eXIf", exif)])
    yield "gamma.png", with_png_chunks(plain, [(b"gAMA", struct.pack(">I", 100000))])
    yield "chrm.png", with_png_chunks(plain, [(b"gAMA", struct.pack(">I", 45455)), (
        b"cHRM", struct.pack(">8I", 31270, 32900, 64000, 33000, 21000, 71000, 15000, 6000))])
    yield "srgb.png", with_png_chunks(plain, [(b"sRGB", b"\0")])
    import zlib
    yield "iccp.png", with_png_chunks(plain, [(b"iCCP", b"p\0\0" + zlib.compress(rgb_profile()))])
    yield "apng.png", with_png_chunks(plain, [(b"acTL", struct.pack(">II", 1, 0)), (
        b"fcTL", struct.pack(">IIIIIHHBB", 0, 40, 30, 0, 0, 1, 10, 0, 0))])


def gifs(scratch):
    """Still, interlaced, transparent, animated, and a first frame off the
    screen's corner."""
    source = os.path.join(scratch, "source.png")
    pattern().save(source)
    alpha = os.path.join(scratch, "alpha.png")
    pattern("RGBA").save(alpha)
    second = os.path.join(scratch, "second.png")
    pattern().transpose(Image.FLIP_LEFT_RIGHT).save(second)
    for name, options in [("still.gif", [source]), ("interlaced.gif", [source, "-interlace", "GIF"]),
                          ("transparent.gif", [alpha]),
                          ("animated.gif", [source, second, "-loop", "0"]),
                          ("offset.gif", [source, "-crop", "20x10+8+6"])]:
        target = os.path.join(scratch, name)
        run("convert", *options, target)
        yield name, open(target, "rb").read()


def webps(scratch):
    """Lossy and lossless, with alpha, animated, with a frame smaller than
    the canvas, and with profile and EXIF chunks."""
    source = os.path.join(scratch, "source.png")
    pattern().save(source)
    alpha = os.path.join(scratch, "alpha.png")
    pattern("RGBA").save(alpha)
    profile = os.path.join(scratch, "profile.icc")
    with open(profile, "wb") as out:
        out.write(rgb_profile())
    exif = os.path.join(scratch, "exif.bin")
    with open(exif, "wb") as out:
        out.write(b"MM\x00\x2a" + struct.pack(">IH", 8, 1) +
                  struct.pack(">HHIHH", 0x0112, 3, 1, 8, 0) + struct.pack(">I", 0))

    def made(name, *command):
        target = os.path.join(scratch, name)
        run(*command, "-o", target)
        return name, open(target, "rb").read()

    yield made("lossy.webp", "cwebp", "-quiet", "-q", "50", source)
    yield made("lossless.webp", "cwebp", "-quiet", "-lossless", source)
    yield made("lossy-alpha.webp", "cwebp", "-quiet", "-q", "50", alpha)
    yield made("lossless-alpha.webp", "cwebp", "-quiet", "-lossless", alpha)
    yield made("part.webp", "cwebp", "-quiet", "-crop", "0", "0", "20", "10", source)
    yield made("animated.webp", "img2webp", "-lossless", source, "-lossy", alpha)
    yield made("offset.webp", "webpmux", "-frame", os.path.join(scratch, "part.webp"),
               "+100+8+6", "-frame", os.path.join(scratch, "lossy.webp"), "+100")
    yield made("profile.webp", "webpmux", "-set", "icc", profile,
               os.path.join(scratch, "lossy.webp"))
    yield made("exif.webp", "webpmux", "-set", "exif", exif,
               os.path.join(scratch, "lossless.webp"))


def helper_messages():
    # One of each kind the decode helper and the program exchange: kind,
    # width, height, full width, full height, bytes per line, format, flag,
    # bytes, shared (HelperMessage.cpp's Record), then a Failed's reason.
    def record(kind, width=0, height=0, full_width=0, full_height=0, per_line=0, fmt=0, flag=0,
               count=0, shared=0):
        return struct.pack("<Iiiiiiiiqq", kind, width, height, full_width, full_height, per_line,
                           fmt, flag, count, shared)
    yield "setup", record(1, count=640 << 20, shared=3144)
    yield "decode", record(2, 1920, 1080, flag=1, count=640 << 20, shared=640 << 20)
    yield "drawsize", record(3, 1280, 720)
    yield "grant", record(4, flag=1)
    yield "ready", record(10, flag=1)
    yield "askdrawsize", record(11, 6000, 4000)
    yield "acquire", record(12, count=96 << 20)
    yield "release", record(13, count=96 << 20)
    yield "picture", record(14, 1920, 1280, 6000, 4000, 7680, 4, count=560)
    yield "failed", record(15) + b"not a JPEG, BMP or TIFF file"


def slide_files():
    yield "crlf.txt", b"/home/user/a.jpg\r\n/home/user/b.bmp\r\n"
    yield "lf.txt", b"/tmp/one.tif\n/tmp/two.jpg"
    yield "cr.txt", b"C:\\pictures\\x.jpg\r\rD:\\y.bmp\r"
    yield "utf8.txt", "/home/jürgen/Ferienbild €.jpg\r\n/tmp/写真.tif\r\n".encode()
    yield "latin1.txt", b"/tmp/caf\xe9.jpg\r\n\xff\xfe\r\n"
    yield "empty-lines.txt", b"\r\n\r\n\n\r"


def settings():
    # The first byte's lowest bit picks the target's path: even for one
    # stored text, odd for a whole settings file.
    for text in (b"1", b" 54 ", b"55", b"-3", b"1abc", b"1e0", b"+1", b"0x10", b"", b"99999999999"):
        yield f"text-{len(text)}-{text.hex()}.txt", b"\0" + text
    yield "file.conf", b"\1[opts]\nTimerSecs=5\nSavePath=1\n[paths]\nDir=/home/user\nDrive=/\n"
    yield "quoted.conf", b'\1[opts]\nTimerSecs="12"\nSavePath=@Variant(\\0\\0\\0\\x2)\n'
    yield "unicode.conf", "\1[paths]\nDir=/home/\u00e9t\u00e9\\x20a\nDrive=\\\\srv\n".encode()
    yield "bad.conf", b"\1[opts\nTimerSecs\n=\n[paths]]\nDir=\xff\xfe\0\n"


def small_variants(scratch):
    """The variant maker's pictures at 9 x 5 pixels, a few hundred bytes."""
    folder = os.path.join(scratch, "variants")
    maker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "picture",
                         "make-variant-pictures.py")
    subprocess.run([sys.executable, maker, "--small", folder], check=True,
                   stdout=subprocess.DEVNULL)
    for name in sorted(os.listdir(folder)):
        if name.endswith((".bmp", ".tif")):
            yield "variant-" + name, open(os.path.join(folder, name), "rb").read()


def encoded(scratch, name, source, command):
    """The output of an encoder given source (a PIL picture) as PNG, or
    nothing when the encoder is missing or fails."""
    if shutil.which(command[0]) is None:
        return []
    png = os.path.join(scratch, "source-" + name + ".png")
    if isinstance(source, list):
        source[0].save(png.replace(".png", ".gif"), save_all=True, append_images=source[1:],
                       duration=100, loop=0)
        png = png.replace(".png", ".gif")
    else:
        source.save(png)
    out = os.path.join(scratch, name)
    arguments = [png if a == "IN" else out if a == "OUT" else a for a in command]
    if subprocess.run(arguments, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
        return []
    return [(name, open(out, "rb").read())]


def heifs(scratch):
    """HEIC and AVIF seeds of 40 x 30 (a grid of 128 x 64): 8 and 10 bits,
    alpha, lossless, turned and mirrored, with a profile and coded colours."""
    rgb, rgba = pattern(), pattern("RGBA")
    rgba.putalpha(128)
    grid = pattern().resize((128, 64))
    seeds = []
    for name, source, command in (
            ("small.heic", rgb, ["heif-enc", "-q", "30", "IN", "-o", "OUT"]),
            ("alpha.heic", rgba, ["heif-enc", "-q", "30", "IN", "-o", "OUT"]),
            ("lossless.heic", rgb, ["heif-enc", "-L", "-p", "chroma=444",
                                    "--matrix_coefficients=0", "IN", "-o", "OUT"]),
            ("small.avif", rgb, ["avifenc", "-s", "10", "IN", "OUT"]),
            ("deep.avif", rgb, ["avifenc", "-s", "10", "-d", "10", "IN", "OUT"]),
            ("pq.avif", rgb, ["avifenc", "-s", "10", "-d", "10", "--cicp", "9/16/9", "IN", "OUT"]),
            ("alpha.avif", rgba, ["avifenc", "-s", "10", "IN", "OUT"]),
            ("turned.avif", rgb, ["avifenc", "-s", "10", "--irot", "1", "--imir", "1", "IN",
                                  "OUT"]),
            ("grid.avif", grid, ["avifenc", "-s", "10", "-g", "2x1", "IN", "OUT"])):
        seeds += encoded(scratch, name, source, command)
    profile = os.path.join(scratch, "seed.icc")
    with open(profile, "wb") as out:
        out.write(rgb_profile())
    seeds += encoded(scratch, "profile.avif", rgb,
                     ["avifenc", "-s", "10", "--icc", profile, "IN", "OUT"])
    return seeds


def jxls(scratch):
    """JPEG XL seeds of 40 x 30: lossy, lossless, alpha, animated."""
    rgb, rgba = pattern(), pattern("RGBA")
    rgba.putalpha(128)
    seeds = []
    for name, source, command in (
            ("lossy.jxl", rgb, ["cjxl", "IN", "OUT", "-d", "2", "-e", "3"]),
            ("lossless.jxl", rgb, ["cjxl", "IN", "OUT", "-d", "0", "-e", "2"]),
            ("alpha.jxl", rgba, ["cjxl", "IN", "OUT", "-d", "2", "-e", "3"]),
            ("container.jxl", rgb, ["cjxl", "IN", "OUT", "-d", "2", "-e", "3", "--container=1"]),
            ("grey.jxl", pattern("L"), ["cjxl", "IN", "OUT", "-d", "0", "-e", "2"]),
            ("animated.jxl", [rgb, rgb.rotate(180)], ["cjxl", "IN", "OUT", "-d", "0", "-e", "1"])):
        seeds += encoded(scratch, name, source, command)
    return seeds


def write(folder, items):
    os.makedirs(folder, exist_ok=True)
    for name, data in items:
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-seeds.py OUTPUT")
    output = sys.argv[1]
    scratch = tempfile.mkdtemp()
    try:
        with_profiles = list(profiled())
        jpeg = list(jpegs()) + [p for p in with_profiles if p[0].endswith(".jpg")]
        variants = list(small_variants(scratch))
        bmp = list(bmps()) + [v for v in variants if v[0].endswith(".bmp")]
        tiff = (list(tiffs(scratch)) + [v for v in variants if v[0].endswith(".tif")] +
                [p for p in with_profiles if p[0].endswith(".tif")])
        png = list(pngs(scratch))
        gif = list(gifs(scratch))
        webp = list(webps(scratch))
        heif = heifs(scratch)
        jxl = jxls(scratch)
        write(os.path.join(output, "picture"), jpeg + bmp + tiff + png + gif + webp + heif + jxl)
        write(os.path.join(output, "png"), png)
        write(os.path.join(output, "gif"), gif)
        write(os.path.join(output, "webp"), webp)
        write(os.path.join(output, "heif"), heif)
        write(os.path.join(output, "jxl"), jxl)
        write(os.path.join(output, "jpeg"), jpeg)
        write(os.path.join(output, "bmp"), bmp)
        write(os.path.join(output, "tiff"), tiff)
        write(os.path.join(output, "slidefile"), slide_files())
        write(os.path.join(output, "settings"), settings())
        write(os.path.join(output, "helpermessage"), helper_messages())
    finally:
        shutil.rmtree(scratch)
    for target in ("picture", "jpeg", "bmp", "tiff", "png", "gif", "webp", "heif", "jxl",
                   "slidefile", "settings", "helpermessage"):
        print(f"{target}: {len(os.listdir(os.path.join(output, target)))} seeds")


main()
