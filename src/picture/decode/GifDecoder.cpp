#include "picture/decode/GifDecoder.h"

#include "picture/decode/DecodeContext.h"
#include "picture/decode/RowSink.h"
#include "picture/raster/LargeImage.h"

#include <QIODevice>
#include <QString>
#include <algorithm>
#include <array>
#include <gif_lib.h>
#include <memory>
#include <new>
#include <vector>

namespace {
// giflib's decoder state (its LZW tables, about 16 KB), the colour maps
// and the frame's description.
constexpr qint64 libraryBytes = qint64(64) << 10;
// LZW codes stand for up to 4095 pixels each, so a few kilobytes can fill
// a 65535 x 65535 frame, and a picture must not take more than about 2 s
// whatever it shows. Measured (user time) on a flat interlaced frame of
// 8000 x 8000: 0.63 s, counted as 6 ns a frame pixel for giflib to inflate
// and 4 a screen pixel in the frame's rows to colour and shrink (rows the
// frame does not reach are shrunk at once): a frame on its screen of up to
// 180 megapixels.
constexpr double maxDecodeNanoseconds = 1.8e9;
constexpr double framePixelNanoseconds = 6;
constexpr double screenPixelNanoseconds = 4;
// How often the decode looks whether it is still wanted, in rows.
constexpr int rowsBetweenChecks = 16;

int readDevice(GifFileType* gif, GifByteType* buffer, int length) {
    return int(
        static_cast<QIODevice*>(gif->UserData)->read(reinterpret_cast<char*>(buffer), length));
}

struct GifCloser {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};

QString giflibError(int code) {
    if (code == D_GIF_ERR_READ_FAILED)
        return QString::fromLatin1(cutShortMessage);
    const char* text = GifErrorString(code);
    return text ? QString::fromUtf8(text) : QStringLiteral("the picture data cannot be read");
}

class GifReading {
public:
    GifReading(GifFileType* gif, DecodeContext& context)
        : gif_(gif)
        , context_(context) {}
    std::optional<DecodedPicture> decode(QString& error);

private:
    bool fail(const QString& why) {
        why_ = why;
        return false;
    }
    bool failGiflib() { return fail(giflibError(gif_->Error)); }
    bool findFrame();
    bool readLine(GifPixelType* line) {
        return DGifGetLine(gif_, line, frame_.width()) == GIF_OK || failGiflib();
    }
    bool stillWanted(int row) {
        return row % rowsBetweenChecks != 0 || !context_.isCancelled() ||
               fail(QStringLiteral("cancelled"));
    }
    // The screen row holding the frame's row of colour indexes.
    void colourRow(const GifPixelType* indexes);
    bool readRows(RowSink& sink);
    bool readInterlaced(RowSink& sink);

    GifFileType* gif_;
    DecodeContext& context_;
    int transparent_ = -1;
    QRect frame_;
    QRect visible_;
    QSize screen_;
    std::array<QRgb, 256> palette_{};
    std::vector<QRgb> row_;
    QString why_;
};

// Skips the extensions before the first frame but for the graphics
// control extension, whose transparent index it keeps, and reads the
// frame's description.
bool GifReading::findFrame() {
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif_, &type) != GIF_OK)
            return failGiflib();
        if (type == TERMINATE_RECORD_TYPE)
            return fail(QStringLiteral("the file holds no picture"));
        if (type == IMAGE_DESC_RECORD_TYPE)
            return DGifGetImageDesc(gif_) == GIF_OK || failGiflib();
        if (type != EXTENSION_RECORD_TYPE)
            return fail(QStringLiteral("the picture data cannot be read"));
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif_, &code, &block) != GIF_OK)
            return failGiflib();
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
            transparent_ = (block[1] & 1) ? block[4] : -1;
        while (block) {
            if (DGifGetExtensionNext(gif_, &block) != GIF_OK)
                return failGiflib();
        }
    }
}

void GifReading::colourRow(const GifPixelType* indexes) {
    const int left = visible_.left();
    const int skip = left - frame_.left();
    for (int x = 0; x < visible_.width(); ++x) {
        const int index = indexes[skip + x];
        row_[size_t(left + x)] = index == transparent_ ? 0 : palette_[size_t(index)];
    }
}

bool GifReading::readRows(RowSink& sink) {
    std::vector<GifPixelType> line(size_t(frame_.width()));
    const int top = frame_.top();
    for (int y = 0; y < frame_.height() && top + y < screen_.height(); ++y) {
        if (!stillWanted(y) || !readLine(line.data()))
            return false;
        colourRow(line.data());
        sink.addRows(row_.data());
    }
    return true;
}

bool GifReading::readInterlaced(RowSink& sink) {
    // Every row of the frame is read; those on the screen are kept.
    const size_t width = size_t(frame_.width());
    std::unique_ptr<GifPixelType[]> held(new (std::nothrow)
                                             GifPixelType[width * size_t(visible_.height())]);
    std::vector<GifPixelType> scratch(width);
    if (!held)
        return fail(QString::fromLatin1(memoryMessage));
    static constexpr int starts[] = {0, 4, 2, 1};
    static constexpr int steps[] = {8, 8, 4, 2};
    int count = 0;
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = starts[pass]; y < frame_.height(); y += steps[pass]) {
            const int kept = frame_.top() + y - visible_.top();
            GifPixelType* line = kept >= 0 && kept < visible_.height()
                                     ? held.get() + size_t(kept) * width
                                     : scratch.data();
            if (!stillWanted(++count) || !readLine(line))
                return false;
        }
    }
    for (int y = 0; y < visible_.height(); ++y) {
        colourRow(held.get() + size_t(y) * width);
        sink.addRows(row_.data());
    }
    return true;
}

std::optional<DecodedPicture> GifReading::decode(QString& error) {
    const auto failed = [&]() -> std::optional<DecodedPicture> {
        error = context_.isCancelled() ? QStringLiteral("cancelled") : why_;
        return std::nullopt;
    };
    const auto refuse = [&](const QString& why) {
        fail(why);
        return failed();
    };
    if (!context_.reserve(libraryBytes))
        return refuse(QString::fromLatin1(memoryMessage));
    if (!findFrame())
        return failed();
    const GifImageDesc& desc = gif_->Image;
    frame_ = QRect(desc.Left, desc.Top, desc.Width, desc.Height);
    if (frame_.isEmpty())
        return refuse(QStringLiteral("the picture is empty"));
    // Some writers leave the screen's size at 0: the frame sets it.
    screen_ = QSize(gif_->SWidth, gif_->SHeight);
    if (screen_.isEmpty())
        screen_ = QSize(frame_.right() + 1, frame_.bottom() + 1);
    visible_ = frame_.intersected(QRect(QPoint(0, 0), screen_));
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif_->SColorMap;
    if (!map)
        return refuse(QStringLiteral("the picture has no colours"));
    // Indexes past a short colour table show black.
    palette_.fill(qRgb(0, 0, 0));
    for (int i = 0; i < std::min(map->ColorCount, 256); ++i)
        palette_[size_t(i)] = qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);

    // Rows read: all of an interlaced frame's, otherwise down to the
    // screen's bottom.
    const qint64 rowsRead = desc.Interlace
                                ? frame_.height()
                                : std::clamp(screen_.height() - frame_.top(), 0, frame_.height());
    const double work = double(rowsRead) * frame_.width() * framePixelNanoseconds +
                        double(visible_.height()) * screen_.width() * screenPixelNanoseconds;
    if (work > double(maxDecodeNanoseconds))
        return refuse(QStringLiteral("the picture is too large to decode"));

    const bool alpha = transparent_ >= 0 || visible_ != QRect(QPoint(0, 0), screen_);
    const QSize shown = context_.shownSize(screen_);
    // Held at once: a line of indexes and a screen row, the visible
    // frame's indexes when interlaced, the shrinker's sums and the
    // shrunk picture.
    const qint64 total = libraryBytes + qint64(frame_.width()) * 2 + qint64(screen_.width()) * 4 +
                         (desc.Interlace ? qint64(visible_.height()) * frame_.width() : 0) +
                         RowSink::workingBytes(shown) + qint64(shown.width()) * shown.height() * 4;
    if (!context_.reserve(total))
        return refuse(QString::fromLatin1(memoryMessage));
    QImage image =
        largeImage(shown, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return refuse(QString::fromLatin1(memoryMessage));
    row_.assign(size_t(screen_.width()), 0);
    RowSink sink(screen_, image);
    // Rows above and below the frame are transparent.
    sink.addRows(row_.data(), visible_.isEmpty() ? screen_.height() : visible_.top());
    if (!visible_.isEmpty() && !(desc.Interlace ? readInterlaced(sink) : readRows(sink)))
        return failed();
    std::fill(row_.begin(), row_.end(), 0);
    sink.addRows(row_.data(), screen_.height());
    if (!sink.isComplete())
        return refuse(QStringLiteral("the picture data cannot be read"));
    return DecodedPicture{std::move(image), screen_, {}};
}
} // namespace

std::optional<DecodedPicture> decodeGif(QIODevice& device, DecodeContext& context, QString& error) {
    error.clear();
    if (!device.seek(0)) {
        error = device.errorString();
        return std::nullopt;
    }
    int code = 0;
    const std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&device, readDevice, &code));
    if (!gif) {
        error =
            code == D_GIF_ERR_NOT_GIF_FILE ? QStringLiteral("not a GIF file") : giflibError(code);
        return std::nullopt;
    }
    return GifReading(gif.get(), context).decode(error);
}
