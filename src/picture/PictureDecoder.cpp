#include "picture/PictureDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/BmpDecoder.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/HeifDecoder.h"
#include "picture/decode/JpegDecoder.h"
#include "picture/decode/JxlDecoder.h"
#include "picture/decode/TiffDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>

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
    // HEIF and AVIF: an ftyp box first, whose major or compatible brands
    // name a picture brand libheif reads.
    if (header.mid(4, 4) == "ftyp") {
        static const char* const brands[] = {"heic", "heix", "hevc", "hevx", "heim",
                                             "heis", "mif1", "msf1", "avif", "avis"};
        const qsizetype boxEnd =
            std::min<qsizetype>(header.size(), qFromBigEndian<quint32>(header.constData()));
        for (qsizetype at = 8; at + 4 <= boxEnd; at += at == 8 ? 8 : 4)
            for (const char* brand : brands)
                if (header.mid(at, 4) == brand)
                    return Format::Heif;
    }
    // JPEG XL: a bare codestream, or the ISO container's signature box.
    if (header.startsWith("\xFF\x0A") ||
        header.startsWith(QByteArrayLiteral("\0\0\0\x0CJXL \r\n\x87\n")))
        return Format::Jxl;
    return Format::Unknown;
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
    const Format format = formatOf(file.peek(headerBytes));
    if (format == Format::Unknown)
        return fail(QStringLiteral("not a JPEG, BMP, TIFF, HEIF or JPEG XL file"));
    DecodeContext context(bound_, budget_, shared_, cancelled_);
    context.setDrawSize(drawSize_);
    QString reason;
    std::optional<DecodedPicture> picture;
    switch (format) {
    case Format::Jpeg:
        if (!file.seek(0))
            return fail(file.errorString());
        picture = decodeJpeg(file, context, reason);
        break;
    case Format::Bmp:
        picture = decodeBmp(file, context, reason);
        break;
    case Format::Tiff:
        picture = decodeTiff(file, context, reason);
        break;
    case Format::Heif:
        picture = decodeHeif(file, context, reason);
        break;
    case Format::Jxl:
        picture = decodeJxl(file, context, reason);
        break;
    case Format::Unknown:
        break;
    }
    if (!picture)
        return fail(reason);
    return picture;
}
