#pragma once

#include "picture/DecodedPicture.h"

#include <QSize>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>

class DecodeBudget;
class QByteArray;
class QIODevice;

// Decodes the picture files the program shows, JPEG, BMP, TIFF, HEIF
// (HEIC and AVIF) and JPEG XL, told apart by their content and handed only
// to the program's own decoders, so a file never reaches Qt's image
// plugins (ICO, TGA, WebP...). Each decodes only as large as the bound
// needs (JPEG by eighths, BMP and TIFF shrunk while read, HEIF and JPEG XL
// shrunk after the libraries' full-size decode) and refuses any file whose decoding would need
// more than the memory budget, files cut short among them.
class PictureDecoder {
public:
    enum class Format { Unknown, Jpeg, Bmp, Tiff, Heif, Jxl };
    // How much of a file's start formatOf looks at.
    static constexpr qint64 headerBytes = 64;

    // Enough for a 9000 x 9000 picture at 16 bits a channel.
    static constexpr qint64 defaultMemoryBudget = qint64(640) << 20;

    // shared and cancelled as for DecodeContext: the budget several
    // decoders draw from at once, and a flag that stops a decode.
    explicit PictureDecoder(QSize bound, qint64 memoryBudget = defaultMemoryBudget,
                            DecodeBudget* shared = nullptr,
                            const std::atomic_bool* cancelled = nullptr);

    // The size a picture of a given full size (upright) is drawn at: the
    // decode shrinks straight to it where it is within the bound. Runs on
    // the decoding thread.
    void setDrawSize(std::function<QSize(QSize)> drawSize) { drawSize_ = std::move(drawSize); }

    // The picture of the file at path, or nothing when the file is missing,
    // unreadable, not one of the formats, cut short, or beyond budget.
    std::optional<DecodedPicture> decode(const QString& path);
    // The same for a picture already open for reading, from its start.
    std::optional<DecodedPicture> decode(QIODevice& device);
    // Why the last decode failed, for diagnostics.
    QString errorString() const { return error_; }

    // The format by the file's first bytes.
    static Format formatOf(const QByteArray& header);

private:
    std::optional<DecodedPicture> fail(const QString& reason);
    // The picture in its file's colours, and the profile they are in.
    std::optional<DecodedPicture> decodeAsStored(QIODevice& device);
    // Into the display's colours.
    void convertColours(DecodedPicture& picture);

    QSize bound_;
    std::function<QSize(QSize)> drawSize_;
    qint64 budget_;
    DecodeBudget* shared_;
    const std::atomic_bool* cancelled_;
    QString error_;
};
