#include "picture/decode/JpegDecoder.h"

#include "picture/colour/ColourConversion.h"
#include "picture/colour/PlainInks.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/ExifReader.h"
#include "picture/raster/AreaShrinker.h"
#include "picture/raster/LargeImage.h"
#include "picture/raster/PictureFit.h"
#include "picture/raster/UprightTurn.h"

#include <QIODevice>
#include <QImage>
#include <QString>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

// Scans times blocks times coefficients in each scan's band: a progressive
// file of 60 KB can declare 4000 x 4000 and repeat a nearly empty
// refinement scan a thousand times, and libjpeg walks every coefficient of
// every block in each. Measured on this machine (two cores, busy), such a
// scan costs 110 ns a block, 1.75 ns a coefficient, so decoding is refused
// within about 1.8 s. A 50 megapixel camera picture in libjpeg's usual ten
// scans comes to 200 million, a baseline one to 75 million.
const qint64 maxJpegBlockVisits = 1'000'000'000;

namespace {
// Arithmetic-coded files, which no camera writes, count this many times
// over: decoding reads on past the end of the data as zeros, and a crafted
// block then costs about 2 us (a 614-byte file declaring 65495 x 2018 took
// 4 s). Refuses arithmetic-coded pictures above about 25 megapixels.
constexpr qint64 arithmeticWeight = 16;
// libjpeg's own state beyond the buffers counted by size.
constexpr qint64 codecBytes = qint64(256) << 10;
constexpr size_t inputChunk = size_t(64) << 10;

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE rgb32Space = JCS_EXT_BGRX;
#else
constexpr J_COLOR_SPACE rgb32Space = JCS_EXT_XRGB;
#endif

// A user's JPEGMEM (thousands of bytes, or megabytes with an M), read once:
// libjpeg reads it too, but our limit replaces libjpeg's, so the stricter
// of the two is kept here. 0 when unset.
qint64 userJpegMemory() {
    static const qint64 bytes = [] {
        const char* text = std::getenv("JPEGMEM");
        if (!text)
            return qint64(0);
        char suffix = 0;
        long long amount = 0;
        if (std::sscanf(text, "%lld%c", &amount, &suffix) < 1 || amount <= 0)
            return qint64(0);
        return qint64(amount) * (suffix == 'm' || suffix == 'M' ? 1000000 : 1000);
    }();
    return bytes;
}

// Everything libjpeg's callbacks reach, allocated before any setjmp and
// destroyed after the last longjmp, so that a jump skips no destructor:
// only plain data lives here and in the frames between.
struct Session {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_source_mgr source{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    QIODevice* device = nullptr;
    const DecodeContext* context = nullptr;
    int lastScan = 0;
    qint64 visits = 0;
    bool created = false;
    JOCTET buffer[inputChunk];

    ~Session() {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

Session& sessionOf(j_common_ptr info) {
    return *static_cast<Session*>(info->client_data);
}

[[noreturn]] void failWith(Session& session, const char* message) {
    std::snprintf(session.message, sizeof session.message, "%s", message);
    std::longjmp(session.jump, 1);
}

void errorExit(j_common_ptr info) {
    Session& session = sessionOf(info);
    info->err->format_message(info, session.message);
    std::longjmp(session.jump, 1);
}

// Warnings are dropped, but for those that say the data ended early: the
// rest of the picture would be grey.
void emitMessage(j_common_ptr info, int level) {
    if (level >= 0)
        return;
    const int code = info->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)
        failWith(sessionOf(info), cutShortMessage);
}

void initSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr info) {
    Session& session = sessionOf(reinterpret_cast<j_common_ptr>(info));
    const qint64 got = session.device->read(reinterpret_cast<char*>(session.buffer), inputChunk);
    if (got <= 0) {
        // An end marker lets libjpeg finish cleanly; the warning makes it
        // a failure.
        session.buffer[0] = 0xFF;
        session.buffer[1] = JPEG_EOI;
        info->src->next_input_byte = session.buffer;
        info->src->bytes_in_buffer = 2;
        WARNMS(info, JWRN_JPEG_EOF);
        return TRUE;
    }
    info->src->next_input_byte = session.buffer;
    info->src->bytes_in_buffer = size_t(got);
    return TRUE;
}

void skipInput(j_decompress_ptr info, long count) {
    jpeg_source_mgr* source = info->src;
    while (count > long(source->bytes_in_buffer)) {
        count -= long(source->bytes_in_buffer);
        fillInput(info);
    }
    if (count > 0) {
        source->next_input_byte += count;
        source->bytes_in_buffer -= size_t(count);
    }
}

void termSource(j_decompress_ptr) {}

qint64 blocksOf(const jpeg_component_info& component) {
    return qint64(component.width_in_blocks) * component.height_in_blocks;
}

// Called by libjpeg between rows of blocks: stops a decode nobody wants,
// and one whose scans add up to more work than any real picture.
void progress(j_common_ptr common) {
    Session& session = sessionOf(common);
    if (session.context->isCancelled())
        failWith(session, "cancelled");
    const auto* info = reinterpret_cast<j_decompress_ptr>(common);
    if (info->input_scan_number != session.lastScan) {
        session.lastScan = info->input_scan_number;
        // A sequential scan decodes all 64 coefficients of a block whatever
        // its header says it holds; only a progressive scan is held to them.
        const int coefficients =
            info->progressive_mode ? std::clamp(info->Se - info->Ss + 1, 1, DCTSIZE2) : DCTSIZE2;
        const qint64 weight = (info->arith_code ? arithmeticWeight : 1) * coefficients;
        for (int i = 0; i < info->comps_in_scan; ++i)
            session.visits += blocksOf(*info->cur_comp_info[i]) * weight;
        if (session.visits > maxJpegBlockVisits)
            failWith(session, "the picture would take too long to decode");
    }
}

// Each phase runs between its own setjmp and the jumps back to it.
bool readHeader(Session& session) {
    if (setjmp(session.jump))
        return false;
    jpeg_create_decompress(&session.info);
    session.created = true;
    session.info.client_data = &session;
    session.info.src = &session.source;
    session.info.progress = &session.progress;
    jpeg_save_markers(&session.info, JPEG_APP0 + 1, 0xFFFF);
    // The colour profile, in chunks of up to 64 KB.
    jpeg_save_markers(&session.info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&session.info, TRUE);
    return true;
}

bool chooseOutput(Session& session, QSize request) {
    if (setjmp(session.jump))
        return false;
    jpeg_decompress_struct& info = session.info;
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : rgb32Space;
    // The smallest eighth whose output still covers the request: libjpeg's
    // scaled decode is the format's fast path (a 24 MP photo for a 1080p
    // screen at 3/8, for a 4K one at 5/8), and the exact area average takes
    // it the rest of the way, as it takes every other format's rows.
    int eighths = 1;
    while (eighths < 8 && ((qint64(info.image_width) * eighths + 7) / 8 < request.width() ||
                           (qint64(info.image_height) * eighths + 7) / 8 < request.height()))
        ++eighths;
    info.scale_num = unsigned(eighths);
    info.scale_denom = 8;
    jpeg_calc_output_dimensions(&info);
    return true;
}

bool readIccProfile(Session& session, JOCTET** data, unsigned* length) {
    if (setjmp(session.jump))
        return false;
    return jpeg_read_icc_profile(&session.info, data, length);
}

// The bytes of the markers libjpeg kept.
qint64 savedMarkerBytes(const jpeg_decompress_struct& info) {
    qint64 bytes = 0;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next)
        bytes += qint64(sizeof *marker) + marker->data_length;
    return bytes;
}

// The ICC profile the file's APP2 markers carry, or nothing when they hold
// none, when chunks are missing, repeated or damaged, or when it is larger
// than any real profile.
QByteArray iccProfileOf(Session& session) {
    qint64 bytes = 0;
    for (jpeg_saved_marker_ptr marker = session.info.marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 2)
            bytes += marker->data_length;
    JOCTET* data = nullptr;
    unsigned length = 0;
    if (bytes == 0 || bytes > ColourConversion::maxProfileBytes ||
        !readIccProfile(session, &data, &length) || !data)
        return {};
    QByteArray profile(reinterpret_cast<const char*>(data), qsizetype(length));
    std::free(data);
    return profile;
}

// The profile the decoded pixels are in: the embedded one where it is of
// the pixels' colour model, else Adobe RGB where the EXIF says the camera
// took the picture in it, else none.
QByteArray pixelProfile(Session& session) {
    const jpeg_decompress_struct& info = session.info;
    using Model = ColourConversion::Model;
    const Model pixels = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK
                             ? Model::Cmyk
                         : info.jpeg_color_space == JCS_GRAYSCALE ? Model::Grey
                                                                  : Model::Rgb;
    QByteArray profile = iccProfileOf(session);
    if (profile.isEmpty() && pixels == Model::Rgb) {
        for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next)
            if (marker->marker == JPEG_APP0 + 1 &&
                exifSaysAdobeRgb(marker->data, marker->data_length))
                return ColourConversion::adobeRgbProfile();
    }
    if (ColourConversion::modelOf(profile) != pixels)
        return {};
    // Inks stay inks only where the profile can turn them into colours.
    if (pixels == Model::Cmyk && !ColourConversion::forDisplay().takesInks(profile))
        return {};
    return profile;
}

// rowBuffer: one row of CMYK samples, or null when rows go straight into
// the picture. shrinker: takes each row, decoded into shrinkRow, instead of
// the picture; or null.
bool decodeRows(Session& session, uchar* bits, qsizetype stride, JSAMPLE* rowBuffer,
                AreaShrinker* shrinker, QRgb* shrinkRow) {
    if (setjmp(session.jump))
        return false;
    jpeg_decompress_struct& info = session.info;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        uchar* out = shrinker ? reinterpret_cast<uchar*>(shrinkRow)
                              : bits + qsizetype(info.output_scanline) * stride;
        JSAMPROW row = rowBuffer ? rowBuffer : out;
        jpeg_read_scanlines(&info, &row, 1);
        if (rowBuffer) {
            // Adobe's CMYK, stored inverted, as every other reader shows it.
            auto* pixel = reinterpret_cast<QRgb*>(out);
            for (JDIMENSION x = 0; x < info.output_width; ++x) {
                const JSAMPLE* s = rowBuffer + 4 * x;
                pixel[x] = plainInkColour(s[0], s[1], s[2], s[3]);
            }
        }
        if (shrinker)
            shrinker->addRow(shrinkRow);
    }
    jpeg_finish_decompress(&info);
    return true;
}

// Everything the decode holds at once: libjpeg's coefficients (the whole
// picture's for a file in several scans, one row of blocks otherwise) and
// row buffers, and the decoded (or, shrinking, one row of it and the
// shrinker's sums), shrunk and turned pictures.
qint64 claimFor(const jpeg_decompress_struct& info, QSize shown, bool shrinks, bool turns) {
    qint64 coefficients = 0;
    qint64 rowBytes = 0;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& component = info.comp_info[i];
        coefficients +=
            info.buffered_image || jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&info))
                ? (blocksOf(component) +
                   qint64(component.width_in_blocks) * component.v_samp_factor) *
                      qint64(sizeof(JBLOCK))
                : qint64(component.width_in_blocks) * component.v_samp_factor *
                      qint64(sizeof(JBLOCK));
        // Sample rows around each row group for upsampling, at the
        // output scale.
        rowBytes += qint64(component.width_in_blocks) * 8 * 4 * info.max_v_samp_factor * 8;
    }
    const qint64 decoded = qint64(info.output_width) * info.output_height * 4;
    const qint64 shown32 = qint64(shown.width()) * shown.height() * 4;
    const qint64 shrinking = qint64(info.output_width) * 4 + AreaShrinker::workingBytes(shown);
    return codecBytes + coefficients + rowBytes + qint64(info.output_width) * 4 +
           (shrinks ? shrinking + shown32 : decoded) + (turns ? shown32 : 0);
}

int orientationOf(const jpeg_decompress_struct& info) {
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1) {
            const int orientation = exifOrientation(marker->data, marker->data_length);
            if (orientation != 1)
                return orientation;
        }
    }
    return 1;
}
} // namespace

std::optional<DecodedPicture> decodeJpeg(QIODevice& device, DecodeContext& context,
                                         QString& error) {
    error.clear();
    if (!device.seek(0)) {
        error = device.errorString();
        return std::nullopt;
    }
    const auto session = std::make_unique<Session>();
    session->device = &device;
    session->context = &context;
    session->info.err = jpeg_std_error(&session->errors);
    session->errors.error_exit = errorExit;
    session->errors.emit_message = emitMessage;
    session->source.init_source = initSource;
    session->source.fill_input_buffer = fillInput;
    session->source.skip_input_data = skipInput;
    session->source.resync_to_restart = jpeg_resync_to_restart;
    session->source.term_source = termSource;
    session->progress.progress_monitor = progress;
    const auto failed = [&]() -> std::optional<DecodedPicture> {
        error = QString::fromUtf8(session->message);
        return std::nullopt;
    };

    if (!readHeader(*session))
        return failed();
    const jpeg_decompress_struct& info = session->info;
    const int orientation = orientationOf(info);
    const bool sideways = turnsSideways(orientation);
    const QSize stored(int(info.image_width), int(info.image_height));
    const QSize upright = sideways ? stored.transposed() : stored;
    const QSize shown = context.shownSize(upright);
    // libjpeg scales before the picture is turned upright.
    const QSize request = sideways ? shown.transposed() : shown;
    if (!chooseOutput(*session, request))
        return failed();
    const QSize decoded(int(info.output_width), int(info.output_height));
    const bool shrinks = decoded != request;
    QByteArray profile = pixelProfile(*session);
    const bool inks = info.out_color_space == JCS_CMYK && !profile.isEmpty();
    // The kept markers and the profile as libjpeg and as we hold it; inks
    // are decoded whole before they are shrunk.
    const qint64 claim = claimFor(info, shown, shrinks, orientation != 1) + savedMarkerBytes(info) +
                         2 * profile.size() +
                         (shrinks && inks ? qint64(decoded.width()) * decoded.height() * 4 : 0);
    if (!context.reserve(claim)) {
        error = QString::fromLatin1(context.isCancelled() ? "cancelled" : memoryMessage);
        return std::nullopt;
    }
    const qint64 userLimit = userJpegMemory();
    session->info.mem->max_memory_to_use = long(userLimit > 0 ? std::min(claim, userLimit) : claim);

    // Shrinking, the decoded rows go straight into the shrunk picture: the
    // decoded one is never held whole. Inks kept for their profile (rare)
    // are decoded whole and shrunk channel by channel; as libjpeg gives
    // them, in Adobe's inverted form, they are what the conversion takes.
    const bool streams = shrinks && !inks;
    // Every row is written, by libjpeg or the shrinker, before the picture
    // is used; one cut short is dropped.
    QImage image = largeImage(streams || !shrinks ? request : decoded,
                              inks ? ColourConversion::inksFormat : QImage::Format_RGB32,
                              LargeImageUse::Overwritten);
    if (image.isNull()) {
        error = QString::fromLatin1(memoryMessage);
        return std::nullopt;
    }
    std::unique_ptr<JSAMPLE[]> rowBuffer;
    if (info.out_color_space == JCS_CMYK && !inks)
        rowBuffer = std::make_unique<JSAMPLE[]>(size_t(decoded.width()) * 4);
    std::unique_ptr<QRgb[]> shrinkRow;
    std::unique_ptr<AreaShrinker> shrinker;
    if (streams) {
        shrinkRow = std::make_unique<QRgb[]>(size_t(decoded.width()));
        shrinker = std::make_unique<AreaShrinker>(decoded, image);
    }
    if (!decodeRows(*session, image.bits(), image.bytesPerLine(), rowBuffer.get(), shrinker.get(),
                    shrinkRow.get()))
        return failed();
    if (shrinks && inks)
        image = AreaShrinker::shrunk(image, request);
    if (image.isNull()) {
        error = QString::fromLatin1(memoryMessage);
        return std::nullopt;
    }
    return DecodedPicture{turnUpright(image, orientation), upright, std::move(profile)};
}
