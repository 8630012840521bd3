#include "picture/decode/PngDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/ExifReader.h"
#include "picture/decode/RowSink.h"
#include "picture/raster/LargeImage.h"
#include "picture/raster/UprightTurn.h"

#include <QIODevice>
#include <QString>
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <lcms2.h>
#include <memory>
#include <new>
#include <png.h>
#include <vector>

namespace {
// libpng takes sides up to 2^31; the shrinkers' sums hold 2^24.
constexpr png_uint_32 maxSide = png_uint_32(1) << 24;
// The largest chunk libpng may hold (a profile, inflated): a little more
// than the largest profile used, and at most a quarter of the budget.
constexpr png_alloc_size_t maxChunkBytes = png_alloc_size_t(8) << 20;
// What libpng and zlib hold besides the rows: the inflate window and
// state, the palette and chunk being read.
constexpr qint64 libraryBytes = qint64(256) << 10;
// A few hundred bytes of compressed zeros can declare a 100,000 x 100,000
// picture, and inflating it takes minutes whatever is shown. Measured (user
// time) on pictures of compressed zeros: 12000 x 8000 grey, filtered with
// none, 0.52 s; 12000 x 11000 RGB, every row filtered with Paeth, the
// costliest to undo, 1.88 s. Counted as 4.5 ns a pixel to expand and
// shrink and 3.5 a stored byte to inflate and unfilter, a decode past this
// is refused before it starts: 225 megapixels of grey, 120 of RGB, 55 of
// 16-bit RGBA. Data that does not compress costs about 10 ns a byte of
// file more (a 24 megapixel photo of 40 MB: 0.6 s), which its size bounds.
constexpr double maxDecodeNanoseconds = 1.8e9;
constexpr double storedByteNanoseconds = 3.5;
constexpr double pixelNanoseconds = 4.5;
// Deflate packs at most about 1032 bytes into one; a file shorter than
// its rows could be packed into was cut short.
constexpr qint64 maxDeflateRatio = 1032;
// How often the decode looks whether it is still wanted, in rows.
constexpr png_uint_32 rowsBetweenChecks = 16;

// The decode's state that libpng's callbacks reach; plain data, since a
// jump out of libpng skips destructors.
struct Session {
    QIODevice* device;
    // The largest block libpng may take: its chunks' until the rows'
    // sizes are known, then the rows' too.
    png_alloc_size_t largestAllocation;
    char message[200];
};

// libpng's memory, each block within the bound. Some chunk handlers take
// the length a chunk claims before reading it (eXIf in 1.6.39 does so past
// png_set_chunk_malloc_max), so a short file could claim gigabytes.
png_voidp allocate(png_structp png, png_alloc_size_t size) {
    const auto* session = static_cast<const Session*>(png_get_mem_ptr(png));
    return size <= session->largestAllocation ? std::malloc(size) : nullptr;
}
void release(png_structp, png_voidp block) {
    std::free(block);
}

void readDevice(png_structp png, png_bytep data, size_t length) {
    auto* session = static_cast<Session*>(png_get_io_ptr(png));
    if (session->device->read(reinterpret_cast<char*>(data), qint64(length)) != qint64(length))
        png_error(png, cutShortMessage);
}

// Keeps libpng's first complaint and jumps back to the guard.
[[noreturn]] void errorExit(png_structp png, png_const_charp message) {
    auto* session = static_cast<Session*>(png_get_error_ptr(png));
    if (!session->message[0])
        std::snprintf(session->message, sizeof session->message, "%s", message);
    png_longjmp(png, 1);
}
void dropWarning(png_structp, png_const_charp) {}

// Runs step, a few libpng calls and the plain work between them; false
// when libpng gave up on the file and jumped back here. The jump skips
// destructors, so nothing step's frames hold across a libpng call may need
// one: the objects it works on live in its caller.
template <typename Step> bool guarded(png_structp png, const Step& step) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    step();
    return true;
}

struct ReadStruct {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadStruct() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Stored sRGB values at full alpha, premultiplied.
void premultiply(QRgb* row, int width) {
    for (int x = 0; x < width; ++x)
        if (qAlpha(row[x]) != 255)
            row[x] = qPremultiply(row[x]);
}

bool near(double a, double b) {
    return std::abs(a - b) < 0.01;
}

class PngReading {
public:
    PngReading(QIODevice& device, DecodeContext& context)
        : context_(context) {
        session_.device = &device;
        session_.largestAllocation = 0;
        session_.message[0] = 0;
    }
    std::optional<DecodedPicture> decode(QString& error);

private:
    std::optional<DecodedPicture> fail(QString& error, const char* why) {
        error = context_.isCancelled() ? QStringLiteral("cancelled") : QString::fromUtf8(why);
        return std::nullopt;
    }
    const char* libraryMessage() const {
        return session_.message[0] ? session_.message : "the picture data cannot be read";
    }
    QByteArray profile(bool grey) const;
    int orientation() const;
    bool readRows(RowSink& sink, QRgb* row, bool alpha);
    bool readInterlaced(RowSink& sink, bool alpha);

    DecodeContext& context_;
    Session session_;
    ReadStruct read_;
    png_uint_32 width_ = 0;
    png_uint_32 height_ = 0;
};

QByteArray PngReading::profile(bool grey) const {
    png_structp png = read_.png;
    png_infop info = read_.info;
    if (png_get_valid(png, info, PNG_INFO_iCCP)) {
        png_charp name = nullptr;
        int compression = 0;
        png_bytep data = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(png, info, &name, &compression, &data, &length) && data &&
            length <= png_uint_32(ColourConversion::maxProfileBytes)) {
            QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(length));
            // Grey pictures are read as grey RGB, which a grey profile
            // describes as well as their grey levels.
            const auto model = ColourConversion::modelOf(bytes);
            if (model == (grey ? ColourConversion::Model::Grey : ColourConversion::Model::Rgb))
                return bytes;
        }
        return {};
    }
    // An sRGB chunk: the pixels are sRGB, shown as stored. libpng fills in
    // sRGB's gamma and primaries for it, so it is looked at first.
    if (png_get_valid(png, info, PNG_INFO_sRGB) || !png_get_valid(png, info, PNG_INFO_gAMA))
        return {};
    double gamma = 0;
    png_get_gAMA(png, info, &gamma);
    double xy[8];
    const bool primaries =
        png_get_valid(png, info, PNG_INFO_cHRM) &&
        png_get_cHRM(png, info, &xy[0], &xy[1], &xy[2], &xy[3], &xy[4], &xy[5], &xy[6], &xy[7]);
    return profileOfGamma(gamma, primaries ? xy : nullptr, grey);
}

int PngReading::orientation() const {
    png_uint_32 length = 0;
    png_bytep exif = nullptr;
    if (!png_get_eXIf_1(read_.png, read_.info, &length, &exif) || !exif)
        return 1;
    return exifBlockOrientation(QByteArray(reinterpret_cast<const char*>(exif), qsizetype(length)));
}

bool PngReading::readRows(RowSink& sink, QRgb* row, bool alpha) {
    const int width = int(width_);
    for (png_uint_32 y = 0; y < height_; y += rowsBetweenChecks) {
        if (context_.isCancelled())
            return false;
        const png_uint_32 end = std::min(height_, y + rowsBetweenChecks);
        const bool read = guarded(read_.png, [&]() {
            for (png_uint_32 r = y; r < end; ++r) {
                png_read_row(read_.png, reinterpret_cast<png_bytep>(row), nullptr);
                if (alpha)
                    premultiply(row, width);
                sink.addRows(row);
            }
        });
        if (!read)
            return false;
    }
    return true;
}

bool PngReading::readInterlaced(RowSink& sink, bool alpha) {
    // Every pass but the last leaves rows unfinished, so the picture is
    // held whole (reserved by the caller) and shrunk once complete.
    const size_t rowPixels = width_;
    const std::unique_ptr<QRgb[]> whole(new (std::nothrow) QRgb[rowPixels * height_]);
    const std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[height_]);
    if (!whole || !rows)
        return false;
    for (png_uint_32 y = 0; y < height_; ++y)
        rows[y] = reinterpret_cast<png_bytep>(whole.get() + y * rowPixels);
    if (!guarded(read_.png, [&]() { png_read_image(read_.png, rows.get()); }))
        return false;
    for (png_uint_32 y = 0; y < height_; ++y) {
        if (y % rowsBetweenChecks == 0 && context_.isCancelled())
            return false;
        QRgb* row = whole.get() + y * rowPixels;
        if (alpha)
            premultiply(row, int(width_));
        sink.addRows(row);
    }
    return true;
}

std::optional<DecodedPicture> PngReading::decode(QString& error) {
    const png_alloc_size_t chunkBytes =
        std::min(maxChunkBytes, png_alloc_size_t(std::max<qint64>(context_.limit() / 4, 0)));
    // libpng's own structures, a few kilobytes, and the header's chunks.
    session_.largestAllocation = std::max(chunkBytes, png_alloc_size_t(64) << 10);
    read_.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &session_, errorExit, dropWarning,
                                         &session_, allocate, release);
    if (read_.png)
        read_.info = png_create_info_struct(read_.png);
    // Room for the header's chunks before their sizes are known.
    if (!read_.info || !context_.reserve(libraryBytes + qint64(chunkBytes)))
        return fail(error, memoryMessage);
    png_structp png = read_.png;
    png_infop info = read_.info;
    png_set_read_fn(png, &session_, readDevice);
    png_set_user_limits(png, maxSide, maxSide);
    png_set_chunk_malloc_max(png, chunkBytes);
    // Text and suggested palettes are of no use here and would be inflated
    // and kept.
    static const png_byte ignored[] = {'t', 'E', 'X', 't', 0, 'z', 'T', 'X', 't', 0,
                                       'i', 'T', 'X', 't', 0, 's', 'P', 'L', 'T', 0};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, ignored, 4);

    int depth = 0, colourType = 0, interlace = 0;
    if (!guarded(png, [&]() {
            png_read_info(png, info);
            png_get_IHDR(png, info, &width_, &height_, &depth, &colourType, &interlace, nullptr,
                         nullptr);
        }))
        return fail(error, libraryMessage());

    const int channels = png_get_channels(png, info);
    const double pixels = double(width_) * height_;
    const double storedBytes = pixels * channels * depth / 8;
    if (pixels * pixelNanoseconds + storedBytes * storedByteNanoseconds > maxDecodeNanoseconds)
        return fail(error, "the picture is too large to decode");
    if (qint64(storedBytes) / maxDeflateRatio > session_.device->size())
        return fail(error, cutShortMessage);

    const bool grey = !(colourType & PNG_COLOR_MASK_COLOR);
    const bool alpha =
        (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    QByteArray iccProfile = profile(grey);
    const int turn = orientation();
    const QSize stored{int(width_), int(height_)};
    const QSize upright = turnsSideways(turn) ? stored.transposed() : stored;
    const QSize shown = context_.shownSize(upright);
    const QSize shrunk = turnsSideways(turn) ? shown.transposed() : shown;

    // Everything held at once: libpng's two rows at the stored depth (up
    // to 8 bytes a pixel) and ours, the whole picture when interlaced, the
    // shrinker's sums, the shrunk picture and its upright copy, and the
    // profile as libpng and we hold it.
    const qint64 w = width_;
    const qint64 shownBytes = qint64(shown.width()) * shown.height() * 4;
    const qint64 total =
        libraryBytes + w * 8 * 2 + w * 4 +
        (interlace != PNG_INTERLACE_NONE ? w * height_ * 4 + qint64(height_) * 8 : 0) +
        RowSink::workingBytes(shrunk) + shownBytes * (turn != 1 ? 2 : 1) + 2 * iccProfile.size();
    if (!context_.reserve(total))
        return fail(error, memoryMessage);
    // libpng's rows: up to 8 bytes a pixel and its filter byte, and the
    // room it keeps around them.
    session_.largestAllocation = std::max(chunkBytes, png_alloc_size_t(w) * 8 + 1024);

    // Every kind of pixel as 8-bit BGRA (QRgb's bytes in memory), opaque
    // ones filled with 255.
    const bool readAlpha = guarded(png, [&]() {
        if (colourType == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(png);
        if (grey && depth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS))
            png_set_tRNS_to_alpha(png);
        if (depth == 16)
            png_set_scale_16(png);
        if (grey)
            png_set_gray_to_rgb(png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
#else
        png_set_swap_alpha(png);
        png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
#endif
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
    });
    if (!readAlpha)
        return fail(error, libraryMessage());
    if (png_get_rowbytes(png, info) != size_t(w) * 4)
        return fail(error, "the picture's pixels cannot be read");

    QImage image =
        largeImage(shrunk, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return fail(error, memoryMessage);
    std::vector<QRgb> row(width_);
    RowSink sink(stored, image);
    const bool read = interlace != PNG_INTERLACE_NONE ? readInterlaced(sink, alpha)
                                                      : readRows(sink, row.data(), alpha);
    if (!read || !sink.isComplete())
        return fail(error, libraryMessage());
    return DecodedPicture{turnUpright(image, turn), upright, std::move(iccProfile)};
}
} // namespace

QByteArray profileOfGamma(double gamma, const double* xy, bool grey) {
    static constexpr double srgb[8] = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    // Writers mark sRGB pictures with gamma 1/2.2 and sRGB's primaries (or
    // none): a pure 2.2 curve differs from sRGB's by under 3 levels, in the
    // deepest shadows, and browsers show such pictures as sRGB, so they
    // are shown as stored too.
    const bool srgbPrimaries = !xy || std::equal(xy, xy + 8, srgb, near);
    if (!(gamma > 0.01 && gamma < 10) || (srgbPrimaries && std::abs(gamma - 1 / 2.2) < 0.005))
        return {};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1 / gamma);
    if (!curve)
        return {};
    const double* c = xy ? xy : srgb;
    const cmsCIExyY white{c[0], c[1], 1};
    cmsHPROFILE profile = nullptr;
    if (grey) {
        profile = cmsCreateGrayProfile(&white, curve);
    } else {
        const cmsCIExyYTRIPLE primaries{{c[2], c[3], 1}, {c[4], c[5], 1}, {c[6], c[7], 1}};
        cmsToneCurve* curves[3] = {curve, curve, curve};
        profile = cmsCreateRGBProfile(&white, &primaries, curves);
    }
    cmsFreeToneCurve(curve);
    if (!profile)
        return {};
    QByteArray bytes;
    cmsUInt32Number size = 0;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(qsizetype(size));
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    cmsCloseProfile(profile);
    return bytes;
}

std::optional<DecodedPicture> decodePng(QIODevice& device, DecodeContext& context, QString& error) {
    error.clear();
    if (!device.seek(0)) {
        error = device.errorString();
        return std::nullopt;
    }
    return PngReading(device, context).decode(error);
}
