#include "picture/decode/BmpDecoder.h"

#include "picture/colour/ColourConversion.h"

#include "picture/decode/BmpHeader.h"
#include "picture/decode/DecodeContext.h"
#include "picture/raster/AreaShrinker.h"
#include "picture/raster/LargeImage.h"
#include "picture/raster/PictureFit.h"

#include <QIODevice>
#include <QString>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace {
// Every pixel is converted and shrunk, about 3 ns each. Uncompressed
// pixels must all be in the file, which bounds their work by its size;
// run-length data of a few bytes can claim 16 million pixels a side and
// draw on every row. Past these counts a decode could take seconds
// whatever it shows (run-length BMPs come from paint programs and
// scanners of old, far smaller).
constexpr qint64 maxPixels = qint64(1) << 27;
constexpr qint64 maxRunLengthPixels = qint64(1) << 25;
// How often the decode looks whether it is still wanted, in rows.
constexpr qint64 rowsBetweenChecks = 16;

// One channel of a bit-field pixel, widened from the mask's width to 0-255:
// a 5-bit 31 and a 10-bit 1023 are both 255.
class Channel {
public:
    explicit Channel(quint32 mask)
        : mask_(mask)
        , shift_(mask ? std::countr_zero(mask) : 0)
        , top_(mask >> shift_) {}
    bool present() const { return mask_ != 0; }
    uint operator()(quint32 pixel) const {
        const quint64 v = (pixel & mask_) >> shift_;
        return uint((v * 255 + top_ / 2) / top_);
    }

private:
    quint32 mask_;
    int shift_;
    quint64 top_;
};

// Premultiplies a colour by its alpha, as the shrinker and the display want.
inline QRgb premultiplied(uint r, uint g, uint b, uint a) {
    if (a == 255)
        return qRgb(int(r), int(g), int(b));
    return qPremultiply(qRgba(int(r), int(g), int(b), int(a)));
}

// Reads a device front to back in large blocks.
class ByteReader {
public:
    explicit ByteReader(QIODevice& device)
        : device_(device) {}
    // The next byte, or -1 at the end of the data.
    int next() {
        if (position_ == buffer_.size()) {
            buffer_ = device_.read(1 << 16);
            position_ = 0;
            if (buffer_.isEmpty())
                return -1;
        }
        return static_cast<uchar>(buffer_.at(position_++));
    }

private:
    QIODevice& device_;
    QByteArray buffer_;
    qsizetype position_ = 0;
};

class BmpReading {
public:
    BmpReading(QIODevice& device, DecodeContext& context, const BmpHeader& header)
        : device_(device)
        , context_(context)
        , h_(header)
        , width_(int(header.width)) {}

    std::optional<DecodedPicture> decode(QString& error);

private:
    bool fail(const char* why) {
        why_ = QString::fromLatin1(why);
        return false;
    }
    bool readPalette();
    bool readRows();
    bool readRle();
    void convertRow(const uchar* row, QRgb* out) const;
    void addIndexRow(const uchar* indexes, int from, int to, int count);
    bool stillWanted(qint64 row) const {
        return row % rowsBetweenChecks != 0 || !context_.isCancelled();
    }

    QIODevice& device_;
    DecodeContext& context_;
    const BmpHeader& h_;
    int width_;
    std::vector<QRgb> palette_;
    // One row's colours. Left unset: rows are converted whole, run-length
    // rows only where drawn, and a wide run-length picture's row is
    // hundreds of megabytes that need not all be touched.
    std::unique_ptr<QRgb[]> pixels_;
    AreaShrinker* shrinker_ = nullptr;
    bool alpha_ = false;
    QString why_;
};

bool BmpReading::readPalette() {
    // Indexes past a short palette show black.
    palette_.assign(size_t(1) << h_.bitsPerPixel, qRgb(0, 0, 0));
    const qint64 bytes = qint64(h_.paletteCount) * h_.paletteEntryBytes;
    if (!device_.seek(h_.paletteOffset))
        return fail(cutShortMessage);
    const QByteArray entries = device_.read(bytes);
    if (entries.size() != bytes)
        return fail(cutShortMessage);
    const auto* e = reinterpret_cast<const uchar*>(entries.constData());
    for (int i = 0; i < h_.paletteCount; ++i, e += h_.paletteEntryBytes)
        palette_[size_t(i)] = qRgb(e[2], e[1], e[0]);
    return true;
}

// The 64-bit pixels' samples are linear light in signed 2.13 fixed point;
// the display wants sRGB.
std::vector<uchar> linearToSrgb() {
    std::vector<uchar> table(8193);
    for (size_t i = 0; i < table.size(); ++i) {
        const double linear = double(i) / 8192.0;
        const double encoded =
            linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
        table[i] = uchar(std::lround(std::clamp(encoded, 0.0, 1.0) * 255));
    }
    return table;
}

inline size_t fixedIndex(const uchar* sample) {
    return size_t(std::clamp<int>(qFromLittleEndian<qint16>(sample), 0, 8192));
}

void BmpReading::convertRow(const uchar* s, QRgb* out) const {
    const int bits = h_.bitsPerPixel;
    if (bits <= 8) {
        const int perByte = 8 / bits;
        const uint mask = (1u << bits) - 1;
        int x = 0;
        for (const uchar* in = s; x < width_; ++in)
            for (int k = perByte - 1; k >= 0 && x < width_; --k, ++x)
                out[x] = palette_[(*in >> (k * bits)) & mask];
        return;
    }
    if (bits == 24 && h_.compression == BmpHeader::Rgb) {
        for (int x = 0; x < width_; ++x, s += 3)
            out[x] = qRgb(s[2], s[1], s[0]);
        return;
    }
    if (bits == 64) {
        static const std::vector<uchar> srgb = linearToSrgb();
        for (int x = 0; x < width_; ++x, s += 8) {
            const uint a = uint(std::lround(fixedIndex(s + 6) * 255.0 / 8192));
            out[x] = premultiplied(srgb[fixedIndex(s + 4)], srgb[fixedIndex(s + 2)],
                                   srgb[fixedIndex(s)], alpha_ ? a : 255);
        }
        return;
    }
    const Channel red(h_.masks[0]), green(h_.masks[1]), blue(h_.masks[2]), alpha(h_.masks[3]);
    const int bytes = bits / 8;
    for (int x = 0; x < width_; ++x, s += bytes) {
        const quint32 p = bytes == 2   ? qFromLittleEndian<quint16>(s)
                          : bytes == 3 ? quint32(s[0] | s[1] << 8 | s[2] << 16)
                                       : qFromLittleEndian<quint32>(s);
        const uint r = red.present() ? red(p) : 0;
        const uint g = green.present() ? green(p) : 0;
        const uint b = blue.present() ? blue(p) : 0;
        out[x] = alpha_ ? premultiplied(r, g, b, alpha(p)) : qRgb(int(r), int(g), int(b));
    }
}

bool BmpReading::readRows() {
    const qint64 rowBytes = h_.rowBytes();
    if (!device_.seek(h_.dataOffset))
        return fail(cutShortMessage);
    std::vector<uchar> row(static_cast<size_t>(rowBytes));
    for (qint64 y = 0; y < h_.height; ++y) {
        if (!stillWanted(y))
            return fail("cancelled");
        if (device_.read(reinterpret_cast<char*>(row.data()), rowBytes) != rowBytes)
            return fail(cutShortMessage);
        convertRow(row.data(), pixels_.get());
        shrinker_->addRow(pixels_.get());
    }
    return true;
}

// A run-length row: index 0 but from from to to.
void BmpReading::addIndexRow(const uchar* indexes, int from, int to, int count) {
    for (int x = from; x < to; ++x)
        pixels_[size_t(x)] = palette_[indexes[x]];
    shrinker_->addSparseRows(pixels_.get(), from, to, palette_[0], count);
}

// Run-length data: runs of one index (RLE4: of two alternating ones),
// literal stretches padded to 16 bits, and codes ending a row, the picture,
// or moving ahead. Pixels the data skips over keep palette index 0.
bool BmpReading::readRle() {
    if (!device_.seek(h_.dataOffset))
        return fail(cutShortMessage);
    const bool four = h_.compression == BmpHeader::Rle4;
    ByteReader in(device_);
    std::vector<uchar> row(size_t(width_), 0);
    qint64 x = 0;
    qint64 y = 0;
    // The part of the row drawn on; rows nothing was drawn on (skipped, or
    // after an early end) go to the shrinker together.
    qint64 from = width_;
    qint64 to = 0;
    qint64 blankRows = 0;
    const auto flushBlank = [&]() {
        if (blankRows > 0)
            addIndexRow(row.data(), 0, 0, int(blankRows));
        blankRows = 0;
    };
    const auto drawn = [&](qint64 start, qint64 end) {
        from = std::min(from, start);
        to = std::max(to, end);
    };
    const auto nextRow = [&]() {
        if (from < to) {
            flushBlank();
            addIndexRow(row.data(), int(from), int(to), 1);
            std::fill(row.begin() + from, row.begin() + to, 0);
            from = width_;
            to = 0;
        } else {
            ++blankRows;
        }
        x = 0;
        ++y;
        return stillWanted(y);
    };
    for (;;) {
        const int count = in.next();
        const int code = in.next();
        if (count < 0 || code < 0) {
            // Data that stops after its last row has said all it holds.
            if (y < h_.height)
                return fail(cutShortMessage);
            flushBlank();
            return true;
        }
        if (count > 0) {
            if (y >= h_.height || x + count > width_)
                return fail("the run-length data draws outside the picture");
            drawn(x, x + count);
            for (int i = 0; i < count; ++i)
                row[size_t(x++)] = uchar(four ? (i % 2 ? code & 15 : code >> 4) : code);
            continue;
        }
        if (code == 0) {
            if (y >= h_.height)
                return fail("the run-length data draws outside the picture");
            if (!nextRow())
                return fail("cancelled");
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            const int right = in.next();
            const int down = in.next();
            if (right < 0 || down < 0)
                return fail(cutShortMessage);
            x += right;
            if (x > width_ || y + down > h_.height || (y + down == h_.height && x > 0))
                return fail("the run-length data moves outside the picture");
            for (int i = 0; i < down; ++i) {
                const qint64 keep = x;
                if (!nextRow())
                    return fail("cancelled");
                x = keep;
            }
        } else {
            if (y >= h_.height || x + code > width_)
                return fail("the run-length data draws outside the picture");
            const int bytes = four ? (code + 1) / 2 : code;
            drawn(x, x + code);
            int value = 0;
            for (int i = 0; i < code; ++i) {
                if (!four || i % 2 == 0) {
                    value = in.next();
                    if (value < 0)
                        return fail(cutShortMessage);
                }
                row[size_t(x++)] = uchar(four ? (i % 2 ? value & 15 : value >> 4) : value);
            }
            if (bytes % 2 && in.next() < 0)
                return fail(cutShortMessage);
        }
    }
    // The end code: the rows not reached keep index 0. A file shorter than
    // its header says was cut short and had the code appended.
    if (y < h_.height - 1 && h_.fileSize > device_.size())
        return fail(cutShortMessage);
    if (y < h_.height && !nextRow())
        return fail("cancelled");
    blankRows += h_.height - y;
    flushBlank();
    return true;
}

std::optional<DecodedPicture> BmpReading::decode(QString& error) {
    const auto failed = [&]() -> std::optional<DecodedPicture> {
        error = context_.isCancelled() ? QStringLiteral("cancelled") : why_;
        return std::nullopt;
    };
    const auto refuse = [&](const char* why) {
        fail(why);
        return failed();
    };
    const QSize stored(width_, int(h_.height));
    if (qint64(width_) * h_.height > (h_.isRle() ? maxRunLengthPixels : maxPixels))
        return refuse("the picture is too large to decode");
    // Every row must be in the file; run-length data as long as its header says.
    const qint64 available = device_.size() - h_.dataOffset;
    if (h_.isRle() ? h_.dataSize > available : h_.rowBytes() * h_.height > available)
        return refuse(cutShortMessage);
    alpha_ =
        h_.bitsPerPixel == 64 ||
        ((h_.compression == BmpHeader::BitFields || h_.compression == BmpHeader::AlphaBitFields) &&
         h_.masks[3] != 0);

    // Everything held at once: one stored row, its pixels, the shrinker's
    // sums, the shrunk picture and the colour profile.
    const QSize shown = context_.shownSize(stored);
    const qint64 shownBytes = qint64(shown.width()) * shown.height() * 4;
    const qint64 total = h_.rowBytes() + qint64(width_) * 5 + (qint64(1) << 10) +
                         AreaShrinker::workingBytes(shown) + shownBytes + h_.profileSize;
    if (!context_.reserve(total))
        return refuse(context_.isCancelled() ? "cancelled" : memoryMessage);

    QByteArray profile;
    if (h_.profileSize > 0 && device_.seek(h_.profileOffset)) {
        profile = device_.read(h_.profileSize);
        // Only a profile of RGB colours describes the pixels as read.
        if (profile.size() != h_.profileSize ||
            ColourConversion::modelOf(profile) != ColourConversion::Model::Rgb)
            profile.clear();
    }
    if (h_.isIndexed() && !readPalette())
        return failed();
    // In pages of its own, as the other decoders' pictures: given back
    // whole when the picture is dropped rather than left in the allocator.
    QImage image =
        largeImage(shown, alpha_ ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return refuse(memoryMessage);
    pixels_.reset(new (std::nothrow) QRgb[size_t(width_)]);
    if (!pixels_)
        return refuse(memoryMessage);
    // Rows stored bottom-up go into the shrinker in that order and land in
    // their mirrored rows.
    AreaShrinker shrinker(stored, image,
                          h_.topDown ? AreaShrinker::RowOrder::TopDown
                                     : AreaShrinker::RowOrder::BottomUp);
    shrinker_ = &shrinker;
    if (!(h_.isRle() ? readRle() : readRows()) || !shrinker.isComplete())
        return failed();
    return DecodedPicture{std::move(image), stored, profile};
}
} // namespace

std::optional<DecodedPicture> decodeBmp(QIODevice& device, DecodeContext& context, QString& error) {
    error.clear();
    if (!device.seek(0)) {
        error = device.errorString();
        return std::nullopt;
    }
    BmpHeader header;
    if (!parseBmpHeader(device.read(bmpHeadBytes), device.size(), header, error))
        return std::nullopt;
    return BmpReading(device, context, header).decode(error);
}
