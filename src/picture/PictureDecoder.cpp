#include "picture/PictureDecoder.h"

#include "picture/AreaShrinker.h"
#include "picture/DecodeContext.h"
#include "picture/JpegDecoder.h"
#include "picture/PictureFit.h"
#include "picture/TiffDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
QByteArray formatName(PictureDecoder::Format format) {
    switch (format) {
    case PictureDecoder::Format::Jpeg:
        return QByteArrayLiteral("jpeg");
    case PictureDecoder::Format::Bmp:
        return QByteArrayLiteral("bmp");
    case PictureDecoder::Format::Tiff:
        return QByteArrayLiteral("tiff");
    case PictureDecoder::Format::Unknown:
        break;
    }
    return {};
}

// Reads a device front to back in large blocks, for scanning a file's
// structure without holding it in memory.
class ByteReader {
public:
    explicit ByteReader(QIODevice& device)
        : device_(device) {}

    // The next byte, or -1 at the end of the data.
    int next() {
        if (position_ == buffer_.size() && !refill())
            return -1;
        return static_cast<uchar>(buffer_.at(position_++));
    }

    int next16() {
        const int high = next();
        const int low = next();
        return high < 0 || low < 0 ? -1 : (high << 8) | low;
    }

    bool skip(qint64 count) {
        const qint64 buffered = buffer_.size() - position_;
        if (count <= buffered) {
            position_ += count;
            return true;
        }
        position_ = buffer_.size();
        return device_.seek(device_.pos() + count - buffered);
    }

    // Moves past the next 0xFF byte; false at the end of the data.
    bool skipPastFF() {
        for (;;) {
            const char* begin = buffer_.constData() + position_;
            const void* found = std::memchr(begin, 0xFF, size_t(buffer_.size() - position_));
            if (found) {
                position_ += static_cast<const char*>(found) - begin + 1;
                return true;
            }
            position_ = buffer_.size();
            if (!refill())
                return false;
        }
    }

private:
    bool refill() {
        buffer_ = device_.read(1 << 16);
        position_ = 0;
        return !buffer_.isEmpty();
    }

    QIODevice& device_;
    QByteArray buffer_;
    qsizetype position_ = 0;
};

// Whether run-length data walked from the device's position reaches its
// end-of-bitmap code on the last row or later. Half a file fails even with
// the end code appended, and so does a size field of 0 that would make a
// short file pass as whole.
bool rleReachesEnd(QIODevice& device, qint64 height, bool fourBits) {
    ByteReader in(device);
    qint64 row = 0;
    for (;;) {
        const int count = in.next();
        const int code = in.next();
        if (count < 0 || code < 0)
            return false;
        if (count > 0)
            continue;
        if (code == 0) {
            ++row;
        } else if (code == 1) {
            return row >= height - 1;
        } else if (code == 2) {
            in.next();
            const int down = in.next();
            if (down < 0)
                return false;
            row += down;
        } else {
            // Absolute pixels, padded to a whole 16-bit word.
            const qint64 bytes = fourBits ? (code + 1) / 2 : code;
            if (!in.skip((bytes + 1) / 2 * 2))
                return false;
        }
    }
}

// Every row of an uncompressed BMP, or the whole run-length data, must be
// in the file; Qt's decoder leaves missing rows black and reports success.
bool bmpIsComplete(QIODevice& device) {
    const QByteArray header = device.peek(38);
    if (header.size() < 26)
        return false;
    const auto* bytes = reinterpret_cast<const uchar*>(header.constData());
    const qint64 dataOffset = qFromLittleEndian<quint32>(bytes + 10);
    const quint32 infoSize = qFromLittleEndian<quint32>(bytes + 14);
    qint64 width = 0;
    qint64 height = 0;
    int bitsPerPixel = 0;
    quint32 compression = 0;
    quint32 dataSize = 0;
    if (infoSize == 12) {
        width = qFromLittleEndian<quint16>(bytes + 18);
        height = qFromLittleEndian<quint16>(bytes + 20);
        bitsPerPixel = qFromLittleEndian<quint16>(bytes + 24);
    } else {
        if (header.size() < 38)
            return false;
        width = qFromLittleEndian<qint32>(bytes + 18);
        // Negative for rows stored top-down.
        height = std::abs(qint64(qFromLittleEndian<qint32>(bytes + 22)));
        bitsPerPixel = qFromLittleEndian<quint16>(bytes + 28);
        compression = qFromLittleEndian<quint32>(bytes + 30);
        dataSize = qFromLittleEndian<quint32>(bytes + 34);
    }
    if (width <= 0 || width > (1 << 24) || height > (1 << 24))
        return false;
    qint64 needed = 0;
    enum { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };
    if (compression == Rgb || compression == BitFields || compression == AlphaBitFields)
        needed = (width * bitsPerPixel + 31) / 32 * 4 * height;
    else if (compression == Rle8 || compression == Rle4)
        needed = dataSize;
    if (device.size() < dataOffset + needed)
        return false;
    if (compression != Rle8 && compression != Rle4)
        return true;
    return device.seek(dataOffset) && rleReachesEnd(device, height, compression == Rle4);
}

// The bytes of a picture of the given size and format, rows padded to 32
// bits as QImage stores them.
qint64 decodeBytes(QSize size, QImage::Format format) {
    const int bits =
        format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    return (qint64(size.width()) * bits + 31) / 32 * 4 * size.height();
}

} // namespace

PictureDecoder::PictureDecoder(QSize bound, qint64 memoryBudget, DecodeBudget* shared,
                               const std::atomic_bool* cancelled)
    : bound_(bound)
    , budget_(memoryBudget)
    , shared_(shared)
    , cancelled_(cancelled) {}

PictureDecoder::Format PictureDecoder::formatOf(const QByteArray& header) {
    if (header.startsWith("\xFF\xD8\xFF"))
        return Format::Jpeg;
    if (header.startsWith("BM"))
        return Format::Bmp;
    if (header.startsWith(QByteArrayLiteral("II*\0")) ||
        header.startsWith(QByteArrayLiteral("MM\0*")))
        return Format::Tiff;
    return Format::Unknown;
}

bool PictureDecoder::isComplete(Format format, QIODevice& device) {
    switch (format) {
    case Format::Bmp:
        return bmpIsComplete(device);
    case Format::Jpeg:
        // libjpeg reports data that ends early, also where an end marker
        // was appended to half a file.
    case Format::Tiff:
        // libtiff reports missing strips and tiles as read errors itself.
        return true;
    case Format::Unknown:
        break;
    }
    return false;
}

std::optional<DecodedPicture> PictureDecoder::fail(const QString& reason) {
    error_ = reason;
    return std::nullopt;
}

std::optional<DecodedPicture> PictureDecoder::decode(const QString& path) {
    error_.clear();
    // Only plain files: a pipe or device carrying a picture's name would
    // block the window or never end.
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    return decode(file);
}

std::optional<DecodedPicture> PictureDecoder::decode(QIODevice& file) {
    error_.clear();
    const Format format = formatOf(file.peek(4));
    if (format == Format::Unknown)
        return fail(QStringLiteral("not a JPEG, BMP or TIFF file"));
    if (!isComplete(format, file))
        return fail(QStringLiteral("the file is cut short"));
    if (!file.seek(0))
        return fail(file.errorString());
    if (format != Format::Bmp) {
        DecodeContext context(bound_, budget_, shared_, cancelled_);
        context.setDrawSize(drawSize_);
        QString reason;
        std::optional<DecodedPicture> picture = format == Format::Jpeg
                                                    ? decodeJpeg(file, context, reason)
                                                    : decodeTiff(file, context, reason);
        if (!picture)
            return fail(reason);
        return picture;
    }

    const QByteArray name = formatName(format);
    QImageReader reader(&file, name);
    // Without this a reader whose named decoder declines tries every
    // installed plugin on the content.
    reader.setAutoDetectImageFormat(false);
    if (!reader.canRead() || reader.format() != name)
        return fail(reader.errorString());
    QSize stored = reader.size();
    // Qt reports a BMP stored top-down with its negative height.
    stored.setHeight(std::abs(stored.height()));
    if (stored.isEmpty())
        return fail(reader.errorString());

    // Everything alive at once: the picture as Qt decodes it (8 bits or
    // fewer a pixel for palette files), its 32-bit copy and the shrunk copy.
    DecodeContext context(bound_, budget_, shared_, cancelled_);
    context.setDrawSize(drawSize_);
    const QSize shown = context.shownSize(stored);
    const QImage::Format original = reader.imageFormat();
    const qint64 originalBytes = decodeBytes(stored, original);
    const bool narrow =
        original == QImage::Format_Invalid || QImage::toPixelFormat(original).bitsPerPixel() < 32;
    const qint64 total = originalBytes + (narrow ? decodeBytes(stored, QImage::Format_RGB32) : 0) +
                         (shown != stored ? decodeBytes(shown, QImage::Format_RGB32) : 0);
    if (!context.reserve(total))
        return fail(context.isCancelled()
                        ? QStringLiteral("cancelled")
                        : QStringLiteral("the picture needs more memory than allowed"));

    QImage image = reader.read();
    if (image.isNull())
        return fail(reader.errorString());
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32);
    if (image.size() != shown)
        image = image.format() == QImage::Format_RGB32
                    ? AreaShrinker::shrunk(image, shown)
                    : image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return DecodedPicture{std::move(image), stored};
}
