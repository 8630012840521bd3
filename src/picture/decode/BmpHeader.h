#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>

// What a BMP's headers say about its pixels, read from the file's first
// bytes (the file header, any of the info headers from the 12-byte OS/2 one
// to the 124-byte fifth version, and the bit masks after a 40-byte one).
// Plain data: parsing checks the fields against each other and the file's
// size but reads no pixels.
struct BmpHeader {
    enum Compression : quint32 {
        Rgb = 0,
        Rle8 = 1,
        Rle4 = 2,
        BitFields = 3,
        Jpeg = 4,
        Png = 5,
        AlphaBitFields = 6,
    };

    qint64 dataOffset = 0;
    quint32 infoSize = 0;
    qint64 width = 0;
    // Always positive; topDown tells the row order.
    qint64 height = 0;
    bool topDown = false;
    int bitsPerPixel = 0;
    quint32 compression = Rgb;
    // The size of the pixel data as the header gives it, 0 when unknown.
    quint32 dataSize = 0;
    // The file size the file header gives, 0 when unknown.
    quint32 fileSize = 0;
    // Red, green, blue and alpha masks of 16 and 32-bit pixels; alpha is 0
    // for pictures without it.
    std::array<quint32, 4> masks{};
    qint64 paletteOffset = 0;
    // Entries present in the file, no more than the depth indexes.
    int paletteCount = 0;
    // 3 in OS/2 1.x files, 4 elsewhere.
    int paletteEntryBytes = 4;
    // An embedded colour profile (fifth version header), offset from the
    // file's start; size 0 when there is none.
    qint64 profileOffset = 0;
    qint64 profileSize = 0;

    bool isRle() const { return compression == Rle8 || compression == Rle4; }
    bool isIndexed() const { return bitsPerPixel <= 8; }
    // Bytes of one stored row of uncompressed pixels, padded to 32 bits.
    qint64 rowBytes() const { return (width * bitsPerPixel + 31) / 32 * 4; }
};

// The header of the BMP whose first bytes are head, for a file of fileSize
// bytes; false with error set when the headers are damaged or describe a
// kind of BMP that is not decoded (embedded JPEG or PNG, OS/2 Huffman).
bool parseBmpHeader(const QByteArray& head, qint64 fileSize, BmpHeader& header, QString& error);

// The file bytes parseBmpHeader needs to see.
constexpr qint64 bmpHeadBytes = 14 + 124 + 16;
