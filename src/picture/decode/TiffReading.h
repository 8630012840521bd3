#pragma once

#include "picture/DecodedPicture.h"

#include <QString>
#include <memory>
#include <optional>
#include <tiffio.h>

class AreaShrinker;
class DecodeContext;
class TiffRowConverter;
class TiffSampleRows;

// One TIFF decode: the open file, what it holds, and where its rows go.
// Checks what the file claims against the work and memory it may take
// before reading it, then reads it into a picture no larger than the
// context's bound. Belongs to the decoding thread.
class TiffReading {
public:
    // libraryError: where the file's error handler keeps libtiff's first
    // complaint, the reason given when reading fails.
    // dataDamaged: set by the warning handler when a codec reports data it
    // could not decode whole (fax lines cut short), which libtiff only
    // warns of and fills in.
    TiffReading(TIFF* tiff, qint64 fileSize, DecodeContext& context, QString& libraryError,
                const bool& dataDamaged)
        : tiff_(tiff)
        , fileSize_(fileSize)
        , context_(context)
        , libraryError_(libraryError)
        , dataDamaged_(dataDamaged) {}

    // Once. On failure error says why.
    std::optional<DecodedPicture> decode();
    QString error;

private:
    std::optional<DecodedPicture> fail(const QString& reason);
    std::optional<DecodedPicture> readFailed();
    std::unique_ptr<TiffRowConverter> directConverter();
    QByteArray pixelProfile(TiffRowConverter* converter);
    bool stripsAndTilesComplete(qint64& largest);
    bool readStrips(TiffRowConverter& converter, AreaShrinker& shrinker, quint32 rowsPerStrip);
    bool readTiles(TiffRowConverter& converter, AreaShrinker& shrinker, int tileWidth,
                   int tileHeight);
    bool readThroughRgba(TIFFRGBAImage& rgba, AreaShrinker& shrinker, int band);
    bool readSampleRows(TiffSampleRows& rows, AreaShrinker& shrinker);
    bool stillWanted(quint32 row);

    TIFF* tiff_;
    qint64 fileSize_;
    DecodeContext& context_;
    QString& libraryError_;
    const bool& dataDamaged_;
    quint32 width_ = 0;
    quint32 height_ = 0;
    bool tiled_ = false;
    bool wholeStrips_ = false;
};
