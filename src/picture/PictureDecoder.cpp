#include "picture/PictureDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/BmpDecoder.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/GifDecoder.h"
#include "picture/decode/HeifDecoder.h"
#include "picture/decode/JpegDecoder.h"
#include "picture/decode/JxlDecoder.h"
#include "picture/decode/PngDecoder.h"
#include "picture/decode/TiffDecoder.h"
#include "picture/decode/WebpDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <iterator>

namespace {
// Every decoder reads its device from the start, decodes within the
// context's bound and budget, and on failure returns nothing and says why
// in error.
using DecodeFunction = std::optional<DecodedPicture> (*)(QIODevice& device, DecodeContext& context,
                                                         QString& error);

struct PictureFormat {
    // As messages name it.
    const char* name;
    // Whether a file whose first bytes are head (headBytes of them, fewer
    // in a shorter file) is of this format.
    bool (*recognises)(const QByteArray& head);
    DecodeFunction decode;
};

bool recognisesHeif(const QByteArray& head) {
    if (head.mid(4, 4) != "ftyp")
        return false;
    static const char* const brands[] = {"heic", "heix", "hevc", "hevx", "heim",
                                         "heis", "mif1", "msf1", "avif", "avis"};
    const qsizetype boxEnd =
        std::min<qsizetype>(head.size(), qFromBigEndian<quint32>(head.constData()));
    // The major brand at 8, the minor version at 12, compatible brands from 16.
    for (qsizetype at = 8; at + 4 <= boxEnd; at += at == 8 ? 8 : 4)
        for (const char* brand : brands)
            if (head.mid(at, 4) == brand)
                return true;
    return false;
}

// The formats the program reads, told apart by their content, never by the
// file's name: one row and one decoder in decode/ each. The first row that
// recognises a file decodes it.
constexpr PictureFormat formats[] = {
    {"JPEG", [](const QByteArray& head) { return head.startsWith("\xFF\xD8\xFF"); }, decodeJpeg},
    {"BMP", [](const QByteArray& head) { return head.startsWith("BM"); }, decodeBmp},
    {"TIFF",
     [](const QByteArray& head) {
         return head.startsWith(QByteArrayLiteral("II*\0")) ||
                head.startsWith(QByteArrayLiteral("MM\0*"));
     },
     decodeTiff},
    {"PNG", [](const QByteArray& head) { return head.startsWith("\x89PNG\r\n\x1A\n"); }, decodePng},
    {"GIF",
     [](const QByteArray& head) { return head.startsWith("GIF87a") || head.startsWith("GIF89a"); },
     decodeGif},
    {"WebP",
     [](const QByteArray& head) { return head.startsWith("RIFF") && head.mid(8, 4) == "WEBP"; },
     decodeWebp},
    // HEIF and AVIF: an ftyp box first, whose major or compatible brands
    // name a picture brand libheif reads.
    {"HEIF", recognisesHeif, decodeHeif},
    // JPEG XL: a bare codestream, or the ISO container's signature box.
    {"JPEG XL",
     [](const QByteArray& head) {
         return head.startsWith("\xFF\x0A") ||
                head.startsWith(QByteArrayLiteral("\0\0\0\x0CJXL \r\n\x87\n"));
     },
     decodeJxl},
};

const PictureFormat* formatFor(const QByteArray& head) {
    for (const PictureFormat& format : formats)
        if (format.recognises(head))
            return &format;
    return nullptr;
}

// "not a JPEG, BMP or TIFF file", naming every row.
QString notAPictureMessage() {
    QString names;
    const qsizetype count = qsizetype(std::size(formats));
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0)
            names += i + 1 == count ? QStringLiteral(" or ") : QStringLiteral(", ");
        names += QLatin1String(formats[i].name);
    }
    return QStringLiteral("not a %1 file").arg(names);
}
} // namespace

PictureDecoder::PictureDecoder(QSize bound, qint64 memoryBudget, DecodeBudget* shared,
                               const std::atomic_bool* cancelled)
    : bound_(bound)
    , budget_(memoryBudget)
    , shared_(shared)
    , cancelled_(cancelled) {}

QString PictureDecoder::formatOf(const QByteArray& head) {
    const PictureFormat* format = formatFor(head);
    return format ? QLatin1String(format->name) : QString();
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
    std::optional<DecodedPicture> picture = decodeAsStored(file);
    if (picture)
        convertColours(*picture);
    return picture;
}

void PictureDecoder::convertColours(DecodedPicture& picture) {
    // The picture, converted in place, its profile and lcms2's tables. Where
    // they do not fit, the profile is left out and the picture shown as
    // stored.
    DecodeContext context(bound_, budget_, shared_, cancelled_);
    if (!picture.iccProfile.isEmpty() &&
        !context.reserve(picture.image.sizeInBytes() + picture.iccProfile.size() +
                         ColourConversion::workingBytes(picture.iccProfile)))
        picture.iccProfile.clear();
    ColourConversion::forDisplay().apply(picture);
}

std::optional<DecodedPicture> PictureDecoder::decodeAsStored(QIODevice& file) {
    error_.clear();
    const PictureFormat* format = formatFor(file.peek(headBytes));
    if (!format)
        return fail(notAPictureMessage());
    DecodeContext context(bound_, budget_, shared_, cancelled_);
    context.setDrawSize(drawSize_);
    QString reason;
    std::optional<DecodedPicture> picture = format->decode(file, context, reason);
    if (!picture)
        return fail(reason);
    return picture;
}
