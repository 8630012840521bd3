#include "picture/PictureDecoder.h"

#include "picture/DecodeContext.h"
#include "picture/PictureFit.h"
#include "picture/TiffDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

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

// The next JPEG marker's code, skipping entropy-coded data, its stuffed
// zero bytes and restart markers; -1 at the end of the data.
int nextJpegMarker(ByteReader& in) {
    for (;;) {
        if (!in.skipPastFF())
            return -1;
        int code = in.next();
        while (code == 0xFF)
            code = in.next();
        if (code < 0)
            return -1;
        if (code != 0x00 && (code < 0xD0 || code > 0xD7))
            return code;
    }
}

// A cut-short JPEG lacks the end marker after its scans. Segments are
// skipped by their length, so the end marker of an embedded EXIF thumbnail
// does not count, and data after the end marker (motion photos append a
// video) does not matter.
bool jpegIsComplete(QIODevice& device) {
    ByteReader in(device);
    if (in.next() != 0xFF || in.next() != 0xD8)
        return false;
    bool sawScan = false;
    for (;;) {
        const int code = nextJpegMarker(in);
        if (code < 0)
            return false;
        if (code == 0xD9)
            return sawScan;
        if (code == 0x01)
            continue;
        const int length = in.next16();
        if (length < 2 || !in.skip(length - 2))
            return false;
        if (code == 0xDA)
            sawScan = true;
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
    return device.size() >= dataOffset + needed;
}

// The size Qt's JPEG decoder produces before its final smoothing to the
// requested size: libjpeg scales by n/8 while decoding, with n the
// smallest that still covers the request.
QSize jpegDecodeSize(QSize stored, QSize requested) {
    const double factor = std::min(double(stored.width()) / requested.width(),
                                   double(stored.height()) / requested.height());
    const int eighths = std::clamp(int(std::ceil(8 / factor)), 1, 8);
    return QSize(int((qint64(stored.width()) * eighths + 7) / 8),
                 int((qint64(stored.height()) * eighths + 7) / 8));
}

// Smooth scaling works on at least 32 bits a pixel.
qint64 decodeBytes(QSize size, QImage::Format format) {
    const int bits =
        format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    return qint64(size.width()) * size.height() * std::max(bits, 32) / 8;
}

// Qt's limit on one image allocation and libjpeg's limit on its own working
// memory, both set to the budget for one decode. Qt lets QT_IMAGEIO_MAXALLOC
// override its limit, so the budget is also checked before decoding.
class DecodeLimits {
public:
    explicit DecodeLimits(qint64 budget)
        : lock_(processWideMutex())
        , previousLimit_(QImageReader::allocationLimit())
        , hadJpegMem_(qEnvironmentVariableIsSet("JPEGMEM"))
        , previousJpegMem_(qgetenv("JPEGMEM")) {
        QImageReader::setAllocationLimit(std::max(1, int(budget >> 20)));
        // libjpeg reads JPEGMEM, in thousands of bytes, whenever a decoder
        // is created; a progressive file needs room for every coefficient
        // of the full picture, whatever the output size.
        qputenv("JPEGMEM", QByteArray::number(std::max<qint64>(1, budget / 1000)));
    }
    ~DecodeLimits() {
        QImageReader::setAllocationLimit(previousLimit_);
        if (hadJpegMem_)
            qputenv("JPEGMEM", previousJpegMem_);
        else
            qunsetenv("JPEGMEM");
    }
    DecodeLimits(const DecodeLimits&) = delete;
    DecodeLimits& operator=(const DecodeLimits&) = delete;

private:
    // The limits are process-wide: decodes on several threads would undo
    // each other's, and libjpeg reads JPEGMEM unguarded while another
    // thread sets it. Decodes through the reader take turns instead.
    static std::mutex& processWideMutex() {
        static std::mutex mutex;
        return mutex;
    }
    std::lock_guard<std::mutex> lock_;
    int previousLimit_;
    bool hadJpegMem_;
    QByteArray previousJpegMem_;
};
} // namespace

PictureDecoder::PictureDecoder(QSize bound, qint64 memoryBudget)
    : bound_(bound)
    , budget_(memoryBudget) {}

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
    case Format::Jpeg:
        return jpegIsComplete(device);
    case Format::Bmp:
        return bmpIsComplete(device);
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
    if (format == Format::Tiff) {
        DecodeContext context(bound_, budget_);
        QString reason;
        std::optional<DecodedPicture> picture = decodeTiff(file, context, reason);
        if (!picture)
            return fail(reason);
        return picture;
    }

    // Set before the reader exists: libjpeg takes its limit when the
    // decoder is created, which the first look at the header does.
    const DecodeLimits limits(budget_);
    const QByteArray name = formatName(format);
    QImageReader reader(&file, name);
    // Without this a reader whose named decoder declines tries every
    // installed plugin on the content.
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);
    if (!reader.canRead() || reader.format() != name)
        return fail(reader.errorString());
    QSize stored = reader.size();
    // Qt reports a BMP stored top-down with its negative height.
    if (format == Format::Bmp)
        stored.setHeight(std::abs(stored.height()));
    if (stored.isEmpty())
        return fail(reader.errorString());

    const QImageIOHandler::Transformations turn = reader.transformation();
    const bool sideways = turn.testFlag(QImageIOHandler::TransformationRotate90);
    const QSize upright = sideways ? stored.transposed() : stored;
    const QSize shown = shrinkToFit(upright, bound_);
    QSize decoded = stored;
    // Only the JPEG decoder can decode at a reduced size.
    if (shown != upright && format == Format::Jpeg) {
        // It scales before the picture is turned upright.
        const QSize request = sideways ? shown.transposed() : shown;
        reader.setScaledSize(request);
        decoded = jpegDecodeSize(stored, request);
    }
    // Turning upright makes a second copy of the decoded picture.
    const int copies = turn == QImageIOHandler::TransformationNone ? 1 : 2;
    if (copies * decodeBytes(decoded, reader.imageFormat()) > budget_)
        return fail(QStringLiteral("the picture needs more memory than allowed"));

    QImage image = reader.read();
    if (image.isNull())
        return fail(reader.errorString());
    if (image.width() > shown.width() || image.height() > shown.height())
        image = image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.format() != QImage::Format_Grayscale8)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
    return DecodedPicture{std::move(image), upright};
}
