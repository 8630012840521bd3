#include "picture/PictureDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/BmpDecoder.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/GifDecoder.h"
#include "picture/decode/JpegDecoder.h"
#include "picture/decode/PngDecoder.h"
#include "picture/decode/TiffDecoder.h"
#include "picture/decode/WebpDecoder.h"

#include <QFile>
#include <QFileInfo>

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
    if (header.startsWith("\x89PNG\r\n\x1A\n"))
        return Format::Png;
    if (header.startsWith("GIF87a") || header.startsWith("GIF89a"))
        return Format::Gif;
    if (header.startsWith("RIFF") && header.mid(8, 4) == "WEBP")
        return Format::Webp;
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
    const Format format = formatOf(file.peek(12));
    if (format == Format::Unknown)
        return fail(QStringLiteral("not a JPEG, BMP, TIFF, PNG, GIF or WebP file"));
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
    case Format::Png:
        picture = decodePng(file, context, reason);
        break;
    case Format::Gif:
        picture = decodeGif(file, context, reason);
        break;
    case Format::Webp:
        picture = decodeWebp(file, context, reason);
        break;
    case Format::Unknown:
        break;
    }
    if (!picture)
        return fail(reason);
    return picture;
}
