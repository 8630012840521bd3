#include "picture/decode/HeifDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/AvifDecoder.h"
#include "picture/decode/CodedColours.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/HeifTransforms.h"
#include "picture/decode/RowSink.h"

#include <QIODevice>
#include <QString>
#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {
// libheif refuses pictures wider or taller than this.
constexpr int maxSide = 65535;
// What libheif's decode holds for each pixel, in bytes a sample: the
// codec's own planes (up to 3 samples with alpha's, 4:4:4), libheif's copy
// of them and a turned copy where the file rotates, then the interleaved
// RGBA result beside the planes it was converted from.
constexpr qint64 decodeSamplesPerPixel = 12;
// How often the decode looks whether it is still wanted, in rows.
constexpr int rowsBetweenChecks = 64;

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct NclxFree {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};

// libheif reads the file through the device, a box at a time, so that a
// large file is not read whole before its boxes are checked.
int64_t devicePosition(void* device) {
    return static_cast<QIODevice*>(device)->pos();
}
int deviceRead(void* data, size_t size, void* device) {
    auto* d = static_cast<QIODevice*>(device);
    return d->read(static_cast<char*>(data), qint64(size)) == qint64(size) ? 0 : -1;
}
int deviceSeek(int64_t position, void* device) {
    return static_cast<QIODevice*>(device)->seek(position) ? 0 : -1;
}
heif_reader_grow_status deviceSize(int64_t size, void* device) {
    return size <= static_cast<QIODevice*>(device)->size()
               ? heif_reader_grow_status_size_reached
               : heif_reader_grow_status_size_beyond_eof;
}
const heif_reader deviceReader = {1, devicePosition, deviceRead, deviceSeek, deviceSize};

QString libraryMessage(const heif_error& e) {
    return QStringLiteral("the picture cannot be read: %1").arg(QString::fromUtf8(e.message));
}

// The embedded ICC profile, where it describes RGB pixels.
QByteArray iccProfileOf(const heif_image_handle* handle) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0 || size > size_t(ColourConversion::maxProfileBytes))
        return {};
    QByteArray profile(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok ||
        ColourConversion::modelOf(profile) != ColourConversion::Model::Rgb)
        return {};
    return profile;
}

// The code points, sRGB's when the file gives none.
CodedColours codedColoursOf(const heif_image_handle* handle) {
    CodedColours colours;
    heif_color_profile_nclx* raw = nullptr;
    const heif_error e = heif_image_handle_get_nclx_color_profile(handle, &raw);
    // libheif hands over the profile it allocated also when it then finds
    // the primaries' code unknown and reports an error.
    const std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(raw);
    if (e.code != heif_error_Ok || !nclx)
        return colours;
    colours.transfer = nclx->transfer_characteristics;
    // libheif fills in the chromaticities of every primaries code it
    // knows; unknown and unspecified ones stay sRGB's.
    if (nclx->color_primaries != heif_color_primaries_unspecified &&
        nclx->color_primary_white_y > 0) {
        const float xy[8] = {nclx->color_primary_red_x,   nclx->color_primary_red_y,
                             nclx->color_primary_green_x, nclx->color_primary_green_y,
                             nclx->color_primary_blue_x,  nclx->color_primary_blue_y,
                             nclx->color_primary_white_x, nclx->color_primary_white_y};
        std::copy(std::begin(xy), std::end(xy), colours.primaries);
    }
    return colours;
}

inline QRgb pixel(uint r, uint g, uint b, uint a, bool premultiplied) {
    if (a == 255)
        return qRgb(int(r), int(g), int(b));
    if (premultiplied)
        return qRgba(int(std::min(r, a)), int(std::min(g, a)), int(std::min(b, a)), int(a));
    return qPremultiply(qRgba(int(r), int(g), int(b), int(a)));
}
} // namespace

std::optional<DecodedPicture> decodeHeif(QIODevice& device, DecodeContext& context,
                                         QString& error) {
    error.clear();
    const auto fail = [&](const QString& why) -> std::optional<DecodedPicture> {
        error = context.isCancelled() ? QStringLiteral("cancelled") : why;
        return std::nullopt;
    };
    if (!device.seek(0))
        return fail(device.errorString());
    // An AVIF picture goes to libavif first, which hands over the AV1
    // decoder's planes as they are; what it leaves comes here.
    if (device.peek(12).mid(8, 4) == "avif") {
        bool declined = false;
        std::optional<DecodedPicture> picture = decodeAvif(device, context, error, declined);
        if (!declined)
            return picture;
        error.clear();
        if (!device.seek(0))
            return fail(device.errorString());
    }
    const std::unique_ptr<heif_context, ContextFree> heif(heif_context_alloc());
    if (!heif)
        return fail(QString::fromLatin1(memoryMessage));
    heif_context_set_maximum_image_size_limit(heif.get(), maxSide);
    heif_error e = heif_context_read_from_reader(heif.get(), &deviceReader, &device, nullptr);
    if (e.code != heif_error_Ok)
        return fail(libraryMessage(e));
    heif_image_handle* rawHandle = nullptr;
    e = heif_context_get_primary_image_handle(heif.get(), &rawHandle);
    if (e.code != heif_error_Ok)
        return fail(libraryMessage(e));
    const std::unique_ptr<heif_image_handle, HandleFree> handle(rawHandle);

    // The stored size (ispe) and the upright, cropped one.
    const QSize upright(heif_image_handle_get_width(handle.get()),
                        heif_image_handle_get_height(handle.get()));
    int storedWidth = heif_image_handle_get_ispe_width(handle.get());
    int storedHeight = heif_image_handle_get_ispe_height(handle.get());
    if (storedWidth <= 0 || storedHeight <= 0) {
        storedWidth = upright.width();
        storedHeight = upright.height();
    }
    if (upright.isEmpty() || upright.width() > maxSide || upright.height() > maxSide)
        return fail(QStringLiteral("the picture has no usable size"));
    const int bits = std::max(heif_image_handle_get_luma_bits_per_pixel(handle.get()), 8);
    if (bits > 16)
        return fail(QStringLiteral("the picture's samples are too deep"));
    const bool deep = bits > 8;
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    const bool premultiplied = alpha && heif_image_handle_is_premultiplied_alpha(handle.get());

    // Everything held at the peak: the file's coded data, which libheif
    // reads whole, the decode at full size, one row of converted pixels,
    // the shown picture with the shrinker's sums, and the profile.
    const qint64 storedPixels = qint64(storedWidth) * storedHeight;
    const QSize shown = context.shownSize(upright);
    const qint64 total = device.size() + storedPixels * decodeSamplesPerPixel * (deep ? 2 : 1) +
                         qint64(upright.width()) * 4 + qint64(shown.width()) * shown.height() * 4 +
                         RowSink::workingBytes(shown) + ColourConversion::maxProfileBytes;
    if (!context.reserve(total))
        return fail(context.isCancelled() ? QStringLiteral("cancelled")
                                          : QString::fromLatin1(memoryMessage));
    // A grid declares its size twice, in its item's properties, which the
    // budget was reserved for, and in its own box, which libheif allocates
    // by: refuse a box with a longer side than the properties.
    heif_context_set_maximum_image_size_limit(heif.get(), std::max(storedWidth, storedHeight) + 1);
    heif_context_set_max_decoding_threads(heif.get(), 2);

    const CodedColours colours = codedColoursOf(handle.get());
    QByteArray profile;
    if (colours.isHdr() || (profile = iccProfileOf(handle.get())).isEmpty())
        profile = colours.iccProfile();

    const std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 0;
    // Planar RGB rather than interleaved: libheif 1.15 mirrors (imir) only
    // planes of 8 bits a sample, after converting to what was asked for.
    // A deeper mirrored picture it refuses, but decodes untransformed: the
    // turns and mirrorings are then read from the file and applied here.
    heif_image* rawImage = nullptr;
    e = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_444,
                          options.get());
    std::optional<QList<HeifTransform>> ownTransforms;
    if (e.code == heif_error_Unsupported_feature && deep) {
        // libheif reads on through the same device: back where it left it.
        const qint64 position = device.pos();
        ownTransforms = heifTransformsOf(device);
        if (!device.seek(position))
            ownTransforms.reset();
        // The picture turned whole, and its turned copy.
        if (!ownTransforms || !context.reserve(total + storedPixels * 8))
            return fail(context.isCancelled() || !ownTransforms
                            ? libraryMessage(e)
                            : QString::fromLatin1(memoryMessage));
        options->ignore_transformations = 1;
        e = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_444,
                              options.get());
    }
    if (e.code != heif_error_Ok)
        return fail(libraryMessage(e));
    const std::unique_ptr<heif_image, ImageFree> image(rawImage);
    if (context.isCancelled())
        return fail(QStringLiteral("cancelled"));
    // The size of the planes: upright, or as stored where the turns are
    // still to be made.
    const QSize decoded = ownTransforms ? QSize(storedWidth, storedHeight) : upright;
    const heif_channel channels[4] = {heif_channel_R, heif_channel_G, heif_channel_B,
                                      heif_channel_Alpha};
    const uint8_t* planes[4] = {};
    int strides[4] = {};
    const int planeCount = alpha ? 4 : 3;
    const int sampleBits = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_R);
    if (sampleBits < 8 || sampleBits > 16)
        return fail(QStringLiteral("the picture's samples are too deep"));
    const bool wide = sampleBits > 8;
    for (int c = 0; c < planeCount; ++c) {
        planes[c] = heif_image_get_plane_readonly(image.get(), channels[c], &strides[c]);
        if (!planes[c] || heif_image_get_width(image.get(), channels[c]) != decoded.width() ||
            heif_image_get_height(image.get(), channels[c]) != decoded.height() ||
            heif_image_get_bits_per_pixel_range(image.get(), channels[c]) != sampleBits)
            return fail(QStringLiteral("the picture data cannot be read"));
    }

    const std::vector<uchar> table = colours.hdrTable(sampleBits);
    const uint top = (1u << sampleBits) - 1;
    // Opaque 8-bit samples that are already what is shown, as nearly every
    // camera's are: packed as they are, in a loop the compiler widens.
    const bool plain = !wide && !alpha && !colours.isHdr();
    const auto convertRow = [&](int y, QRgb* out) {
        const uint8_t* line[4] = {};
        for (int c = 0; c < planeCount; ++c)
            line[c] = planes[c] + qint64(y) * strides[c];
        if (plain) {
            const uint8_t* r = line[0];
            const uint8_t* g = line[1];
            const uint8_t* b = line[2];
            for (int x = 0; x < decoded.width(); ++x)
                out[x] = 0xff000000u | uint(r[x]) << 16 | uint(g[x]) << 8 | b[x];
        } else if (wide) {
            // Samples of more than 8 bits are 16-bit words in native order.
            const auto sample = [&](int c, int x) {
                return std::min<uint>(reinterpret_cast<const quint16*>(line[c])[x], top);
            };
            for (int x = 0; x < decoded.width(); ++x) {
                const uint a = alpha ? (sample(3, x) * 255 + top / 2) / top : 255;
                out[x] = pixel(table[sample(0, x)], table[sample(1, x)], table[sample(2, x)], a,
                               premultiplied);
            }
        } else {
            for (int x = 0; x < decoded.width(); ++x)
                out[x] = pixel(table[line[0][x]], table[line[1][x]], table[line[2][x]],
                               alpha ? line[3][x] : 255, premultiplied);
        }
    };

    const QImage::Format format =
        alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage shownImage(shown, format);
    if (shownImage.isNull())
        return fail(QString::fromLatin1(memoryMessage));
    RowSink rows(upright, shownImage);
    if (ownTransforms) {
        QImage stored(decoded, format);
        if (stored.isNull())
            return fail(QString::fromLatin1(memoryMessage));
        for (int y = 0; y < decoded.height(); ++y) {
            if (y % rowsBetweenChecks == 0 && context.isCancelled())
                return fail(QStringLiteral("cancelled"));
            convertRow(y, reinterpret_cast<QRgb*>(stored.scanLine(y)));
        }
        const QImage turned = transformed(stored, *ownTransforms);
        if (turned.size() != upright)
            return fail(QStringLiteral("the picture data cannot be read"));
        for (int y = 0; y < upright.height(); ++y)
            rows.addRows(reinterpret_cast<const QRgb*>(turned.constScanLine(y)));
    } else {
        std::vector<QRgb> row(size_t(upright.width()));
        for (int y = 0; y < upright.height(); ++y) {
            if (y % rowsBetweenChecks == 0 && context.isCancelled())
                return fail(QStringLiteral("cancelled"));
            convertRow(y, row.data());
            rows.addRows(row.data());
        }
    }
    if (!rows.isComplete())
        return fail(QStringLiteral("the picture data cannot be read"));
    return DecodedPicture{std::move(shownImage), upright, profile};
}
