#include "picture/decode/WebpDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/ExifReader.h"
#include "picture/decode/RowSink.h"
#include "picture/raster/LargeImage.h"
#include "picture/raster/UprightTurn.h"

#include <QIODevice>
#include <QString>
#include <memory>
#include <new>
#include <webp/decode.h>
#include <webp/demux.h>

namespace {
// libwebp's state besides the pixels: the demuxer's frame list, the
// lossy decoder's rows of macroblocks and the scaler's (counted by width).
constexpr qint64 libraryBytes = qint64(512) << 10;
constexpr qint64 rowStateBytesPerPixel = 128;
// A lossless file of a few hundred bytes can declare 16383 x 16383 pixels,
// and decoding them takes seconds whatever is shown. Measured (user time)
// on flat 8000 x 8000 pictures: lossy 0.75 s (decoded whole and shrunk),
// lossless 0.28 s; a 12 megapixel lossy photo 0.25 s. Counted as 10 ns a
// pixel for lossy data and 6 for lossless, a decode past this is refused
// before it starts: 180 and 300 megapixels.
constexpr double maxDecodeNanoseconds = 1.8e9;
constexpr double lossyPixelNanoseconds = 10;
constexpr double losslessPixelNanoseconds = 6;

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

QByteArray chunk(const WebPDemuxer* demux, const char* fourcc) {
    WebPChunkIterator iterator;
    QByteArray bytes;
    if (WebPDemuxGetChunk(demux, fourcc, 1, &iterator))
        bytes = QByteArray(reinterpret_cast<const char*>(iterator.chunk.bytes),
                           qsizetype(iterator.chunk.size));
    WebPDemuxReleaseChunkIterator(&iterator);
    return bytes;
}

QString statusMessage(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return QString::fromLatin1(cutShortMessage);
    case VP8_STATUS_OUT_OF_MEMORY:
        return QString::fromLatin1(memoryMessage);
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return QStringLiteral("the picture uses a feature that is not supported");
    default:
        return QStringLiteral("the picture data is damaged");
    }
}

// Decodes a frame's bitstream into image (at the image's size, scaled by
// libwebp where that is smaller), as premultiplied or opaque QRgb.
VP8StatusCode decodeInto(const WebPData& frame, QImage& image, bool alpha) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return VP8_STATUS_INVALID_PARAM;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    config.output.colorspace = alpha ? MODE_bgrA : MODE_BGRA;
#else
    config.output.colorspace = alpha ? MODE_Argb : MODE_ARGB;
#endif
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = size_t(image.sizeInBytes());
    config.options.use_threads = 0;
    WebPBitstreamFeatures features;
    const VP8StatusCode read = WebPGetFeatures(frame.bytes, frame.size, &features);
    if (read != VP8_STATUS_OK)
        return read;
    if (image.size() != QSize(features.width, features.height)) {
        config.options.use_scaling = 1;
        config.options.scaled_width = image.width();
        config.options.scaled_height = image.height();
    }
    const VP8StatusCode status = WebPDecode(frame.bytes, frame.size, &config);
    WebPFreeDecBuffer(&config.output);
    return status;
}

class WebpReading {
public:
    WebpReading(const QByteArray& file, DecodeContext& context)
        : file_(file)
        , context_(context) {}
    std::optional<DecodedPicture> decode(QString& error);

private:
    std::optional<DecodedPicture> fail(QString& error, const QString& why) {
        error = context_.isCancelled() ? QStringLiteral("cancelled") : why;
        return std::nullopt;
    }

    const QByteArray& file_;
    DecodeContext& context_;
};

std::optional<DecodedPicture> WebpReading::decode(QString& error) {
    const WebPData data{reinterpret_cast<const uint8_t*>(file_.constData()), size_t(file_.size())};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&data, &state));
    if (!demux || state == WEBP_DEMUX_PARSE_ERROR)
        return fail(error, QStringLiteral("not a WebP file"));
    if (state != WEBP_DEMUX_DONE)
        return fail(error, QString::fromLatin1(cutShortMessage));
    const QSize canvas(int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH)),
                       int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT)));
    const uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    WebPIterator iterator;
    if (!WebPDemuxGetFrame(demux.get(), 1, &iterator))
        return fail(error, QStringLiteral("the file holds no picture"));
    const WebPData frameData = iterator.fragment;
    const QRect frame(iterator.x_offset, iterator.y_offset, iterator.width, iterator.height);
    WebPDemuxReleaseIterator(&iterator);
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(frameData.bytes, frameData.size, &features);
    if (status != VP8_STATUS_OK)
        return fail(error, statusMessage(status));
    const QRect placed = frame.intersected(QRect(QPoint(0, 0), canvas));
    if (canvas.isEmpty() || frame.isEmpty() ||
        QSize(features.width, features.height) != frame.size())
        return fail(error, QStringLiteral("the picture data is damaged"));

    const bool lossless = features.format == 2;
    const double pixels = double(frame.width()) * frame.height();
    if (pixels * (lossless ? losslessPixelNanoseconds : lossyPixelNanoseconds) >
        maxDecodeNanoseconds)
        return fail(error, QStringLiteral("the picture is too large to decode"));

    QByteArray profile;
    if (flags & ICCP_FLAG) {
        profile = chunk(demux.get(), "ICCP");
        if (profile.size() > ColourConversion::maxProfileBytes ||
            ColourConversion::modelOf(profile) != ColourConversion::Model::Rgb)
            profile.clear();
    }
    const int turn = (flags & EXIF_FLAG) ? exifBlockOrientation(chunk(demux.get(), "EXIF")) : 1;
    const QSize upright = turnsSideways(turn) ? canvas.transposed() : canvas;
    const QSize shown = context_.shownSize(upright);
    const QSize shrunk = turnsSideways(turn) ? shown.transposed() : shown;
    // A frame smaller than the canvas is decoded whole and laid on it.
    const bool onCanvas = placed != QRect(QPoint(0, 0), canvas);
    const bool alpha = features.has_alpha || onCanvas;

    // Held at once besides the file: libwebp's state, a lossless frame's
    // every pixel and a lossy one's alpha plane, the shrunk picture and its
    // upright copy, the profile; and when decoded whole, the frame and the
    // shrinker's sums.
    const qint64 framePixels = qint64(frame.width()) * frame.height();
    const qint64 shownBytes = qint64(shown.width()) * shown.height() * 4;
    const qint64 scaledTotal = file_.size() + libraryBytes +
                               qint64(frame.width()) * rowStateBytesPerPixel +
                               (lossless             ? framePixels * 4
                                : features.has_alpha ? framePixels
                                                     : 0) +
                               shownBytes * (turn != 1 ? 2 : 1) + profile.size();
    const qint64 wholeTotal = scaledTotal + framePixels * 4 + RowSink::workingBytes(shrunk);
    // libwebp's scaling averages a lossy picture's luma and chroma planes
    // apart, before turning them into RGB, and lands 1.4 levels on average
    // from the area average of the decoded picture (0.5 for lossless and
    // alpha pictures, within the shrinkers' own difference): opaque lossy
    // pictures are decoded whole and shrunk where the budget holds them.
    const bool shrinks = shrunk != frame.size();
    bool whole = onCanvas || (shrinks && !lossless && !features.has_alpha);
    if (whole && !onCanvas && !context_.reserve(wholeTotal) && !context_.isCancelled())
        whole = false;
    if (!context_.reserve(whole ? wholeTotal : scaledTotal))
        return fail(error, QString::fromLatin1(memoryMessage));

    QImage image =
        largeImage(shrunk, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return fail(error, QString::fromLatin1(memoryMessage));
    if (!whole) {
        const VP8StatusCode decoded = decodeInto(frameData, image, alpha);
        if (decoded != VP8_STATUS_OK)
            return fail(error, statusMessage(decoded));
    } else {
        QImage frameImage(frame.size(),
                          alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        if (frameImage.isNull())
            return fail(error, QString::fromLatin1(memoryMessage));
        const VP8StatusCode decoded = decodeInto(frameData, frameImage, alpha);
        if (decoded != VP8_STATUS_OK)
            return fail(error, statusMessage(decoded));
        if (context_.isCancelled())
            return fail(error, QStringLiteral("cancelled"));
        // The frame's rows on the canvas, transparent around it.
        std::unique_ptr<QRgb[]> row(new (std::nothrow) QRgb[size_t(canvas.width())]());
        if (!row)
            return fail(error, QString::fromLatin1(memoryMessage));
        RowSink sink(canvas, image);
        sink.addRows(row.get(), placed.top());
        for (int y = placed.top(); y <= placed.bottom(); ++y) {
            const auto* source =
                reinterpret_cast<const QRgb*>(frameImage.constScanLine(y - frame.top()));
            std::copy_n(source + (placed.left() - frame.left()), placed.width(),
                        row.get() + placed.left());
            sink.addRows(row.get());
        }
        std::fill_n(row.get(), canvas.width(), 0);
        sink.addRows(row.get(), canvas.height());
    }
    if (context_.isCancelled())
        return fail(error, QStringLiteral("cancelled"));
    return DecodedPicture{turnUpright(image, turn), upright, std::move(profile)};
}
} // namespace

std::optional<DecodedPicture> decodeWebp(QIODevice& device, DecodeContext& context,
                                         QString& error) {
    error.clear();
    if (!device.seek(0)) {
        error = device.errorString();
        return std::nullopt;
    }
    // libwebp decodes from the whole file in memory.
    const qint64 size = device.size();
    if (!context.reserve(size + libraryBytes)) {
        error = QString::fromLatin1(context.isCancelled() ? "cancelled" : memoryMessage);
        return std::nullopt;
    }
    const QByteArray file = device.read(size);
    if (file.size() != size) {
        error = QString::fromLatin1(cutShortMessage);
        return std::nullopt;
    }
    return WebpReading(file, context).decode(error);
}
