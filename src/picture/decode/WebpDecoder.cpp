#include "picture/decode/WebpDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/ExifReader.h"
#include "picture/decode/RowSink.h"
#include "picture/raster/LargeImage.h"
#include "picture/raster/UprightTurn.h"

#include <QIODevice>
#include <QString>
#include <algorithm>
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

// libwebp's own conversion of a lossy picture's samples (BT.601, studio
// range) in its fixed point, as its RGB output does it: the luma scaled by
// 19077 / 2^14 and each chroma by its weight, in 6 fractional bits.
inline int clip8(int v) {
    return (v & ~((256 << 6) - 1)) == 0 ? v >> 6 : v < 0 ? 0 : 255;
}
inline int multHi(int v, int coefficient) {
    return (v * coefficient) >> 8;
}
inline QRgb rgbOfYuv(int y, int u, int v) {
    const int luma = multHi(y, 19077);
    return qRgb(clip8(luma + multHi(v, 26149) - 14234),
                clip8(luma - multHi(u, 6419) - multHi(v, 13320) + 8708),
                clip8(luma + multHi(u, 33050) - 17685));
}

// An opaque lossy frame shrunk through its samples: libwebp decodes the
// luma and half-size chroma planes (a third of the bytes of RGB, and none
// of its conversion), the rows go through the area average with each
// pixel's luma and chroma in place of red, green and blue (the chroma
// interpolated as libwebp's RGB output does), and only the shrunk pixels
// are turned into RGB. The conversion is linear but for its clipping at
// black and white, so this lands within rounding of the area average of
// libwebp's own RGB. libwebp's own scaling does not: it shrinks the chroma
// to half the shown size.
VP8StatusCode decodeShrunkSamples(const WebPData& frame, QImage& image, QSize frameSize,
                                  DecodeContext& context) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return VP8_STATUS_INVALID_PARAM;
    config.output.colorspace = MODE_YUV;
    // libwebp filters the rows on a thread of its own while it parses the
    // next ones.
    config.options.use_threads = 1;
    const VP8StatusCode status = WebPDecode(frame.bytes, frame.size, &config);
    if (status != VP8_STATUS_OK) {
        WebPFreeDecBuffer(&config.output);
        return status;
    }
    const WebPYUVABuffer& planes = config.output.u.YUVA;
    if (config.output.width != frameSize.width() || config.output.height != frameSize.height()) {
        WebPFreeDecBuffer(&config.output);
        return VP8_STATUS_BITSTREAM_ERROR;
    }
    const int width = frameSize.width();
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (frameSize.height() + 1) / 2;
    // A row of pixels, and the chroma between two chroma rows (four times
    // over, unrounded) with a sample's room either side.
    std::unique_ptr<QRgb[]> row(new (std::nothrow) QRgb[size_t(width)]);
    std::unique_ptr<int[]> between(new (std::nothrow) int[size_t(chromaWidth + 2) * 2]);
    if (!row || !between) {
        WebPFreeDecBuffer(&config.output);
        return VP8_STATUS_OUT_OF_MEMORY;
    }
    int* const uRow = between.get() + 1;
    int* const vRow = uRow + chromaWidth + 2;
    RowSink sink(frameSize, image);
    for (int y = 0; y < frameSize.height(); ++y) {
        if (y % 64 == 0 && context.isCancelled())
            break;
        // libwebp's RGB interpolates each pixel's chroma from the four
        // samples round it, 9:3:3:1 by nearness: three quarters of the
        // nearer chroma row and one of the other, then the same along it.
        const int near = y / 2;
        const int other = std::clamp(y % 2 ? near + 1 : near - 1, 0, chromaHeight - 1);
        const uint8_t* nearU = planes.u + qint64(near) * planes.u_stride;
        const uint8_t* nearV = planes.v + qint64(near) * planes.v_stride;
        const uint8_t* otherU = planes.u + qint64(other) * planes.u_stride;
        const uint8_t* otherV = planes.v + qint64(other) * planes.v_stride;
        for (int x = 0; x < chromaWidth; ++x) {
            uRow[x] = 3 * nearU[x] + otherU[x];
            vRow[x] = 3 * nearV[x] + otherV[x];
        }
        uRow[-1] = uRow[0];
        vRow[-1] = vRow[0];
        uRow[chromaWidth] = uRow[chromaWidth - 1];
        vRow[chromaWidth] = vRow[chromaWidth - 1];
        const uint8_t* luma = planes.y + qint64(y) * planes.y_stride;
        QRgb* out = row.get();
        for (int x = 0; x < width; ++x) {
            const int c = x / 2;
            const int side = x % 2 ? c + 1 : c - 1;
            const uint u = uint(3 * uRow[c] + uRow[side] + 8) >> 4;
            const uint v = uint(3 * vRow[c] + vRow[side] + 8) >> 4;
            out[x] = 0xff000000u | uint(luma[x]) << 16 | u << 8 | v;
        }
        sink.addRows(out);
    }
    WebPFreeDecBuffer(&config.output);
    if (!sink.isComplete())
        return VP8_STATUS_SUSPENDED;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = rgbOfYuv(qRed(line[x]), qGreen(line[x]), qBlue(line[x]));
    }
    return VP8_STATUS_OK;
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
    // The luma and chroma planes, a row and the shrinker's sums.
    const qint64 samplesTotal = scaledTotal + framePixels +
                                2 * qint64((frame.width() + 1) / 2) * ((frame.height() + 1) / 2) +
                                qint64(frame.width()) * 4 + RowSink::workingBytes(shrunk);
    // libwebp's scaling averages a lossy picture's luma and chroma planes
    // apart, the chroma to half the shown size, before turning them into
    // RGB, and lands 1.4 levels on average from the area average of the
    // decoded picture (0.5 for lossless and alpha pictures, within the
    // shrinkers' own difference): opaque lossy pictures are shrunk through
    // their samples at full resolution where the budget holds them.
    const bool shrinks = shrunk != frame.size();
    bool samples = !onCanvas && shrinks && !lossless && !features.has_alpha;
    if (samples && !context_.reserve(samplesTotal) && !context_.isCancelled())
        samples = false;
    const bool whole = onCanvas;
    if (!context_.reserve(samples ? samplesTotal : whole ? wholeTotal : scaledTotal))
        return fail(error, QString::fromLatin1(memoryMessage));

    QImage image =
        largeImage(shrunk, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return fail(error, QString::fromLatin1(memoryMessage));
    if (samples) {
        const VP8StatusCode decoded = decodeShrunkSamples(frameData, image, frame.size(), context_);
        if (decoded != VP8_STATUS_OK)
            return fail(error, statusMessage(decoded));
    } else if (!whole) {
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
        // The frame's rows on the canvas, transparent around it: only the
        // frame's own pixels are written and read, so a small frame on a
        // canvas of millions of columns costs the frame's size.
        std::unique_ptr<QRgb[]> row(new (std::nothrow) QRgb[size_t(canvas.width())]);
        if (!row)
            return fail(error, QString::fromLatin1(memoryMessage));
        RowSink sink(canvas, image);
        sink.addSparseRows(row.get(), 0, 0, 0, placed.top());
        for (int y = placed.top(); y <= placed.bottom(); ++y) {
            const auto* source =
                reinterpret_cast<const QRgb*>(frameImage.constScanLine(y - frame.top()));
            std::copy_n(source + (placed.left() - frame.left()), placed.width(),
                        row.get() + placed.left());
            sink.addSparseRows(row.get(), placed.left(), placed.right() + 1, 0);
        }
        sink.addSparseRows(row.get(), 0, 0, 0, canvas.height());
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
