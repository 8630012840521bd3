#include "picture/decode/BmpHeader.h"

#include <QtEndian>

namespace {
// The largest width or height accepted, as for every other format.
constexpr qint64 maxSide = qint64(1) << 24;
// Colour profiles larger than this are ignored (real ones are a few KB,
// the largest printer profiles a few MB).
constexpr qint64 maxProfileBytes = qint64(4) << 20;
// "MBED": the fifth version header's profile lies in the file.
constexpr quint32 profileEmbedded = 0x4D424544;

bool bad(QString& error, const char* why) {
    error = QString::fromLatin1(why);
    return false;
}

// The default masks of uncompressed 16 and 32-bit pixels: 5-5-5 and 8-8-8,
// without alpha.
std::array<quint32, 4> defaultMasks(int bits) {
    if (bits == 16)
        return {0x7C00, 0x03E0, 0x001F, 0};
    return {0xFF0000, 0xFF00, 0xFF, 0};
}

bool depthFits(quint32 compression, int bits) {
    switch (compression) {
    case BmpHeader::Rgb:
        return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 ||
               bits == 32 || bits == 64;
    case BmpHeader::Rle8:
        return bits == 8;
    case BmpHeader::Rle4:
        return bits == 4;
    case BmpHeader::BitFields:
    case BmpHeader::AlphaBitFields:
        return bits == 16 || bits == 24 || bits == 32;
    default:
        return false;
    }
}
} // namespace

bool parseBmpHeader(const QByteArray& head, qint64 fileSize, BmpHeader& h, QString& error) {
    h = BmpHeader{};
    const auto* b = reinterpret_cast<const uchar*>(head.constData());
    const qint64 have = head.size();
    if (have < 18 || head.at(0) != 'B' || head.at(1) != 'M')
        return bad(error, "not a BMP file");
    const auto u16 = [&](qint64 at) {
        return qFromLittleEndian<quint16>(b + at);
    };
    const auto u32 = [&](qint64 at) {
        return qFromLittleEndian<quint32>(b + at);
    };
    const auto i32 = [&](qint64 at) {
        return qFromLittleEndian<qint32>(b + at);
    };
    h.fileSize = u32(2);
    h.dataOffset = u32(10);
    h.infoSize = u32(14);
    const quint32 size = h.infoSize;
    // 12: OS/2 1.x; 40, 52, 56, 108, 124: Windows; any other size from 16
    // to 64 is an OS/2 2.x header, whose fields past the size given are 0.
    const bool os2v1 = size == 12;
    const bool windows = size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
    const bool os2v2 = !windows && size >= 16 && size <= 64;
    if (!os2v1 && !windows && !os2v2)
        return bad(error, "the BMP header has an impossible size");
    if (have < 14 + qint64(size))
        return bad(error, "the file is cut short");
    const qint64 info = 14;
    int planes = 0;
    if (os2v1) {
        h.width = u16(info + 4);
        h.height = u16(info + 6);
        planes = u16(info + 8);
        h.bitsPerPixel = u16(info + 10);
        h.paletteEntryBytes = 3;
    } else {
        h.width = i32(info + 4);
        const qint64 height = i32(info + 8);
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        planes = u16(info + 12);
        h.bitsPerPixel = u16(info + 14);
        if (size >= 20)
            h.compression = u32(info + 16);
        if (size >= 24)
            h.dataSize = u32(info + 20);
    }
    const quint32 coloursUsed = size >= 36 ? u32(info + 32) : 0;
    if (planes != 1)
        return bad(error, "the BMP header is damaged");
    if (h.width <= 0 || h.height <= 0 || h.width > maxSide || h.height > maxSide)
        return bad(error, "the picture has an impossible size");
    if (os2v2 && h.compression == 3)
        return bad(error, "OS/2 Huffman-coded BMPs are not supported");
    if (os2v2 && h.compression == 4)
        return bad(error, "OS/2 24-bit run-length BMPs are not supported");
    if (h.compression == BmpHeader::Jpeg || h.compression == BmpHeader::Png)
        return bad(error, "BMPs holding a JPEG or PNG are not supported");
    if (!depthFits(h.compression, h.bitsPerPixel))
        return bad(error, "the BMP header is damaged");
    // Run-length rows always go bottom-up; a top-down one is read top-down.

    qint64 after = info + size;
    if (h.compression == BmpHeader::BitFields || h.compression == BmpHeader::AlphaBitFields) {
        qint64 masksAt = info + 40;
        if (size == 40) {
            // The masks follow the header.
            after += h.compression == BmpHeader::AlphaBitFields ? 16 : 12;
            if (have < after)
                return bad(error, "the file is cut short");
        }
        h.masks = {u32(masksAt), u32(masksAt + 4), u32(masksAt + 8), 0};
        // The alpha mask is the fourth: after a 40-byte header only with
        // alpha bit fields, in the header from 56 bytes on.
        if ((size == 40 && h.compression == BmpHeader::AlphaBitFields) || size >= 56)
            h.masks[3] = u32(masksAt + 12);
        if (h.masks[0] == 0 && h.masks[1] == 0 && h.masks[2] == 0)
            return bad(error, "the BMP's bit masks are empty");
    } else if (h.bitsPerPixel == 16 || h.bitsPerPixel == 32) {
        h.masks = defaultMasks(h.bitsPerPixel);
    }

    if (h.dataOffset < after)
        return bad(error, "the BMP header is damaged");
    if (h.dataOffset >= fileSize)
        return bad(error, "the file is cut short");
    h.paletteOffset = after;
    if (h.isIndexed()) {
        const qint64 depthEntries = qint64(1) << h.bitsPerPixel;
        const qint64 room = (h.dataOffset - after) / h.paletteEntryBytes;
        if (coloursUsed == 0) {
            // Files that leave the count out may still hold fewer entries
            // than the depth indexes.
            h.paletteCount = int(std::min(depthEntries, room));
        } else {
            // More entries than the depth indexes are skipped, but they
            // must be there.
            if (coloursUsed > room)
                return bad(error, "the BMP's palette does not fit before its pixels");
            h.paletteCount = int(std::min<qint64>(coloursUsed, depthEntries));
        }
        if (h.paletteCount == 0)
            return bad(error, "the BMP has no palette");
    }

    if (size >= 124 && u32(info + 56) == profileEmbedded) {
        const qint64 offset = info + qint64(u32(info + 112));
        const qint64 bytes = u32(info + 116);
        if (bytes > 0 && bytes <= maxProfileBytes && offset >= info + size &&
            offset <= fileSize - bytes) {
            h.profileOffset = offset;
            h.profileSize = bytes;
        }
    }
    return true;
}
