#include "picture/decode/JxlDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/RowSink.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace {
// The file goes to libjxl in blocks of this size.
constexpr qint64 blockBytes = qint64(1) << 20;
// Sides past this are refused, as libheif and libjpeg refuse theirs: no
// camera or screen makes them, and a file claiming them is hostile.
constexpr quint32 maxSide = 65535;
// Two threads, the decoding one and a worker, speed a large picture up by
// about half again without taking the whole machine from the slide show and
// the other decodes.
constexpr qint64 decodingThreads = 2;
// libjxl decodes in groups of 256 x 256 pixels: a picture of one group has
// nothing to share, and its decode costs less than starting a thread.
constexpr qint64 groupPixels = 256 * 256;
// How often the decode looks whether it is still wanted, in rows.
constexpr int rowsBetweenChecks = 64;

struct DecoderFree {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct RunnerFree {
    void operator()(void* r) const { JxlResizableParallelRunnerDestroy(r); }
};

const JxlPixelFormat rgba8 = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

// Whether libjxl delivers its pixels in sRGB, which needs no profile.
bool isSrgb(const JxlDecoder* decoder) {
    JxlColorEncoding encoding;
    return JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                              &encoding) == JXL_DEC_SUCCESS &&
           encoding.color_space == JXL_COLOR_SPACE_RGB &&
           encoding.white_point == JXL_WHITE_POINT_D65 &&
           encoding.primaries == JXL_PRIMARIES_SRGB &&
           encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// The profile of the pixels as libjxl delivers them, where it describes RGB.
QByteArray dataProfile(const JxlDecoder* decoder) {
    if (isSrgb(decoder))
        return {};
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0 || size > size_t(ColourConversion::maxProfileBytes))
        return {};
    QByteArray profile(qsizetype(size), Qt::Uninitialized);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(profile.data()),
                                       size) != JXL_DEC_SUCCESS ||
        ColourConversion::modelOf(profile) != ColourConversion::Model::Rgb)
        return {};
    return profile;
}
} // namespace

std::optional<DecodedPicture> decodeJxl(QIODevice& device, DecodeContext& context, QString& error) {
    error.clear();
    const auto fail = [&](const QString& why) -> std::optional<DecodedPicture> {
        error = context.isCancelled() ? QStringLiteral("cancelled") : why;
        return std::nullopt;
    };
    const auto refuse = [&]() {
        return fail(QString::fromLatin1(memoryMessage));
    };
    if (!device.seek(0))
        return fail(device.errorString());
    const std::unique_ptr<JxlDecoder, DecoderFree> decoder(JxlDecoderCreate(nullptr));
    const std::unique_ptr<void, RunnerFree> runner(JxlResizableParallelRunnerCreate(nullptr));
    if (!decoder || !runner ||
        JxlDecoderSetParallelRunner(decoder.get(), JxlResizableParallelRunner, runner.get()) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                                     JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS)
        return refuse();

    // The bytes libjxl has not taken yet, then the next block.
    QByteArray input;
    bool atEnd = false;
    JxlBasicInfo info{};
    QSize upright;
    QByteArray profile;
    // The full-size RGBA picture libjxl writes into.
    std::unique_ptr<uchar[]> pixels;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (context.isCancelled())
            return fail(QStringLiteral("cancelled"));
        switch (status) {
        case JXL_DEC_ERROR:
            return fail(QStringLiteral("the picture data cannot be read"));
        case JXL_DEC_NEED_MORE_INPUT: {
            if (atEnd)
                return fail(QString::fromLatin1(cutShortMessage));
            const size_t unread = JxlDecoderReleaseInput(decoder.get());
            input.remove(0, input.size() - qsizetype(unread));
            const QByteArray block = device.read(blockBytes);
            if (block.isEmpty())
                atEnd = true;
            input += block;
            JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t*>(input.constData()),
                               size_t(input.size()));
            if (atEnd)
                JxlDecoderCloseInput(decoder.get());
            break;
        }
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return fail(QStringLiteral("the picture data cannot be read"));
            if (info.xsize == 0 || info.ysize == 0 || info.xsize > maxSide || info.ysize > maxSide)
                return fail(QStringLiteral("the picture has no usable size"));
            upright = info.orientation > JXL_ORIENT_ROTATE_180
                          ? QSize(int(info.ysize), int(info.xsize))
                          : QSize(int(info.xsize), int(info.ysize));
            // Held at the peak: libjxl's planes, 32-bit floats or integers
            // for the colours and each extra channel, twice over for an
            // animation keeping a frame to build the next on; its coded
            // input block; the RGBA result; one converted row; the shown
            // picture with the shrinker's sums; the profile.
            const qint64 pixelCount = qint64(info.xsize) * info.ysize;
            const qint64 planeBytes =
                4 * (3 + qint64(info.num_extra_channels)) * (info.have_animation ? 2 : 1);
            const QSize shown = context.shownSize(upright);
            const qint64 total = pixelCount * (planeBytes + 4) + 2 * blockBytes +
                                 qint64(upright.width()) * 4 +
                                 qint64(shown.width()) * shown.height() * 4 +
                                 RowSink::workingBytes(shown) + ColourConversion::maxProfileBytes;
            if (!context.reserve(total))
                return fail(context.isCancelled() ? QStringLiteral("cancelled")
                                                  : QString::fromLatin1(memoryMessage));
            // The worker starts here, for a picture large enough to share,
            // and ends with the decode: a helper process is single-threaded
            // between pictures, as its sandbox needs when it is entered.
            JxlResizableParallelRunnerSetThreads(
                runner.get(),
                size_t(std::clamp(pixelCount / groupPixels, qint64(1), decodingThreads)));
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            profile = dataProfile(decoder.get());
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            size_t size = 0;
            if (upright.isEmpty() ||
                JxlDecoderImageOutBufferSize(decoder.get(), &rgba8, &size) != JXL_DEC_SUCCESS ||
                size != size_t(upright.width()) * size_t(upright.height()) * 4)
                return fail(QStringLiteral("the picture data cannot be read"));
            pixels.reset(new (std::nothrow) uchar[size]);
            if (!pixels)
                return refuse();
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &rgba8, pixels.get(), size) !=
                JXL_DEC_SUCCESS)
                return fail(QStringLiteral("the picture data cannot be read"));
            break;
        }
        case JXL_DEC_SUCCESS:
            return fail(QStringLiteral("the file holds no picture"));
        case JXL_DEC_FULL_IMAGE: {
            // An animation's first frame is its picture.
            if (!pixels)
                return fail(QStringLiteral("the picture data cannot be read"));
            const bool alpha = info.alpha_bits > 0;
            QImage shown(context.shownSize(upright),
                         alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
            if (shown.isNull())
                return refuse();
            RowSink rows(upright, shown);
            std::vector<QRgb> row(size_t(upright.width()));
            for (int y = 0; y < upright.height(); ++y) {
                if (y % rowsBetweenChecks == 0 && context.isCancelled())
                    return fail(QStringLiteral("cancelled"));
                const uchar* s = pixels.get() + size_t(y) * size_t(upright.width()) * 4;
                for (int x = 0; x < upright.width(); ++x, s += 4) {
                    const uint a = alpha ? s[3] : 255;
                    if (a == 255)
                        row[size_t(x)] = qRgb(s[0], s[1], s[2]);
                    else if (info.alpha_premultiplied)
                        row[size_t(x)] = qRgba(std::min<uint>(s[0], a), std::min<uint>(s[1], a),
                                               std::min<uint>(s[2], a), int(a));
                    else
                        row[size_t(x)] = qPremultiply(qRgba(s[0], s[1], s[2], int(a)));
                }
                rows.addRows(row.data());
            }
            if (!rows.isComplete())
                return fail(QStringLiteral("the picture data cannot be read"));
            return DecodedPicture{std::move(shown), upright, profile};
        }
        default:
            break;
        }
    }
}
