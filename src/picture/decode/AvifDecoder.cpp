#include "picture/decode/AvifDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/CodedColours.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/HeifTransforms.h"
#include "picture/decode/RowSink.h"
#include "picture/raster/LargeImage.h"

#include <QBuffer>
#include <QIODevice>
#include <QString>
#include <avif/avif.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {
// The longest side libheif reads, so that both decoders take the same files.
constexpr uint32_t maxSide = 65535;
// What the decode holds for each stored pixel at its peak, in bytes: the AV1
// decoder's frame (up to three 8-bit planes at 4:4:4) and the frame it keeps
// to refer to, with their borders.
constexpr qint64 decodeBytesPerPixel = 8;
// Rows turned into RGB at a time.
constexpr int stripRows = 64;
// Rows converted past each end of a strip: the bilinear upsampling of a
// strip's first and last rows reads the chroma rows round them, as it would
// converting the whole picture at once. Even, so that a 4:2:0 strip starts on
// a chroma row.
constexpr int stripMargin = 2;

struct DecoderFree {
    void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};

// The embedded ICC profile, where it describes RGB pixels.
QByteArray iccProfileOf(const avifImage* image) {
    if (!image->icc.data || image->icc.size == 0 ||
        image->icc.size > size_t(ColourConversion::maxProfileBytes))
        return {};
    QByteArray profile(reinterpret_cast<const char*>(image->icc.data), qsizetype(image->icc.size));
    return ColourConversion::modelOf(profile) == ColourConversion::Model::Rgb ? profile
                                                                              : QByteArray();
}

CodedColours codedColoursOf(const avifImage* image) {
    CodedColours colours;
    colours.transfer = image->transferCharacteristics;
    // Unknown and unspecified primaries stay sRGB's.
    if (image->colorPrimaries != AVIF_COLOR_PRIMARIES_UNKNOWN &&
        image->colorPrimaries != AVIF_COLOR_PRIMARIES_UNSPECIFIED) {
        float xy[8];
        avifColorPrimariesGetValues(image->colorPrimaries, xy);
        std::copy(std::begin(xy), std::end(xy), colours.primaries);
    }
    return colours;
}

QSize transformedSize(QSize size, const QList<HeifTransform>& transforms) {
    for (const HeifTransform& t : transforms)
        if (t.kind == HeifTransform::Kind::Turn && t.value % 2)
            size.transpose();
    return size;
}
} // namespace

std::optional<DecodedPicture> decodeAvif(QIODevice& device, DecodeContext& context, QString& error,
                                         bool& declined) {
    error.clear();
    declined = false;
    const auto decline = [&]() -> std::optional<DecodedPicture> {
        declined = true;
        return std::nullopt;
    };
    const auto fail = [&](const QString& why) -> std::optional<DecodedPicture> {
        error = context.isCancelled() ? QStringLiteral("cancelled") : why;
        return std::nullopt;
    };
    const auto refuse = [&]() {
        return fail(QString::fromLatin1(memoryMessage));
    };

    // libavif parses from memory: the file is read whole, as libheif does.
    const qint64 fileBytes = device.size();
    if (!context.reserve(fileBytes))
        return refuse();
    if (!device.seek(0))
        return decline();
    const QByteArray file = device.readAll();
    if (file.size() != fileBytes)
        return decline();

    const std::unique_ptr<avifDecoder, DecoderFree> decoder(avifDecoderCreate());
    if (!decoder)
        return refuse();
    decoder->maxThreads = 2;
    decoder->requestedSource = AVIF_DECODER_SOURCE_PRIMARY_ITEM;
    decoder->imageDimensionLimit = maxSide;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // Files a strict reading refuses (no pixi box, say) libheif shows; so
    // does this.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    if (avifDecoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t*>(file.constData()),
                               size_t(file.size())) != AVIF_RESULT_OK ||
        avifDecoderParse(decoder.get()) != AVIF_RESULT_OK)
        return decline();
    const avifImage* info = decoder->image;
    const bool planar = info->yuvFormat == AVIF_PIXEL_FORMAT_YUV420 ||
                        info->yuvFormat == AVIF_PIXEL_FORMAT_YUV422 ||
                        info->yuvFormat == AVIF_PIXEL_FORMAT_YUV444;
    const CodedColours colours = codedColoursOf(info);
    if (decoder->alphaPresent || decoder->imageCount != 1 || info->depth != 8 || !planar ||
        colours.isHdr() || (info->transformFlags & AVIF_TRANSFORM_CLAP) || info->width == 0 ||
        info->height == 0 || info->width > maxSide || info->height > maxSide)
        return decline();

    // The turns and mirrorings in the order the file lists them, which
    // libavif does not keep.
    QList<HeifTransform> transforms;
    if (info->transformFlags & (AVIF_TRANSFORM_IROT | AVIF_TRANSFORM_IMIR)) {
        QBuffer boxes;
        boxes.setData(file);
        if (!boxes.open(QIODevice::ReadOnly))
            return decline();
        const std::optional<QList<HeifTransform>> listed = heifTransformsOf(boxes);
        if (!listed)
            return decline();
        transforms = *listed;
    }
    const QSize stored(int(info->width), int(info->height));
    const QSize upright = transformedSize(stored, transforms);
    const QSize shown = context.shownSize(upright);
    // The area average works at the stored orientation: turning and
    // mirroring move whole pixels, so shrinking first lands on the same ones.
    const QSize shrunk = transformedSize(shown, transforms);

    QByteArray profile = iccProfileOf(info);
    if (profile.isEmpty())
        profile = colours.iccProfile();

    const qint64 stripBytes = qint64(stored.width()) * 4 * (stripRows + 2 * stripMargin);
    const qint64 shownBytes = qint64(shown.width()) * shown.height() * 4;
    const qint64 total = fileBytes +
                         qint64(stored.width()) * stored.height() * decodeBytesPerPixel +
                         stripBytes + shownBytes * (transforms.isEmpty() ? 1 : 2) +
                         RowSink::workingBytes(shrunk) + ColourConversion::maxProfileBytes;
    if (!context.reserve(total))
        return refuse();
    if (avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK)
        return context.isCancelled() ? fail(QStringLiteral("cancelled")) : decline();
    const avifImage* image = decoder->image;
    if (image->width != info->width || image->height != info->height || image->depth != 8 ||
        image->yuvFormat != info->yuvFormat || !image->yuvPlanes[AVIF_CHAN_Y])
        return decline();
    if (context.isCancelled())
        return fail(QStringLiteral("cancelled"));

    QImage target = largeImage(shrunk, QImage::Format_RGB32);
    const std::unique_ptr<uchar[]> strip(new (std::nothrow) uchar[size_t(stripBytes)]);
    if (target.isNull() || !strip)
        return refuse();
    RowSink rows(stored, target);
    const uint32_t rowBytes = uint32_t(stored.width()) * 4;
    for (int top = 0; top < stored.height(); top += stripRows) {
        if (context.isCancelled())
            return fail(QStringLiteral("cancelled"));
        const int bottom = std::min(top + stripRows, stored.height());
        const int from = std::max(top - stripMargin, 0);
        const int to = std::min(bottom + stripMargin, stored.height());
        avifImage view;
        std::memset(&view, 0, sizeof view);
        const avifCropRect rect = {0, uint32_t(from), uint32_t(stored.width()),
                                   uint32_t(to - from)};
        if (avifImageSetViewRect(&view, image, &rect) != AVIF_RESULT_OK)
            return fail(QStringLiteral("the picture data cannot be read"));
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, &view);
        rgb.depth = 8;
        // Blue, green, red, alpha in memory: a QRgb on this little-endian
        // machine, alpha 255 where the picture has none.
        rgb.format = AVIF_RGB_FORMAT_BGRA;
        rgb.chromaUpsampling = AVIF_CHROMA_UPSAMPLING_BILINEAR;
        rgb.pixels = strip.get();
        rgb.rowBytes = rowBytes;
        if (avifImageYUVToRGB(&view, &rgb) != AVIF_RESULT_OK)
            return fail(QStringLiteral("the picture data cannot be read"));
        for (int y = top; y < bottom; ++y)
            rows.addRows(reinterpret_cast<const QRgb*>(strip.get() + qint64(y - from) * rowBytes));
    }
    if (!rows.isComplete())
        return fail(QStringLiteral("the picture data cannot be read"));
    if (!transforms.isEmpty()) {
        target = transformed(target, transforms);
        if (target.size() != shown)
            return fail(QStringLiteral("the picture data cannot be read"));
    }
    return DecodedPicture{std::move(target), upright, profile};
}
