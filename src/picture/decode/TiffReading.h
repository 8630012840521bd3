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
                const bool& dataDamaged);
    ~TiffReading();

    // Once. On failure error says why.
    std::optional<DecodedPicture> decode();
    QString error;

private:
    // The steps of decode, in order. Each false one has said in error why
    // the file is refused, before the next one costs anything.
    bool measure();
    void chooseReader();
    bool workWithinLimit();
    bool partsWithinFile();
    bool readPartLayout();
    bool readerTakesFile();
    bool reserveMemory();
    std::optional<DecodedPicture> readPicture();

    bool refuse(const QString& reason);
    std::optional<DecodedPicture> fail(const QString& reason);
    std::optional<DecodedPicture> readFailed();
    QByteArray pixelProfile(TiffRowConverter* converter);
    qint64 readerBytes() const;
    bool readRows(TIFFRGBAImage& rgba, QImage& image);
    bool readStrips(TiffRowConverter& converter, AreaShrinker& shrinker);
    bool readTiles(TiffRowConverter& converter, AreaShrinker& shrinker);
    bool readThroughRgba(TIFFRGBAImage& rgba, AreaShrinker& shrinker);
    bool readSampleRows(TiffSampleRows& rows, AreaShrinker& shrinker);
    bool stillWanted(quint32 row);

    TIFF* tiff_;
    qint64 fileSize_;
    DecodeContext& context_;
    QString& libraryError_;
    const bool& dataDamaged_;

    // What the file claims (measure).
    quint32 width_ = 0;
    quint32 height_ = 0;
    quint16 samples_ = 0;
    int orientation_ = 1;
    QSize stored_;
    QSize upright_;
    QSize shown_;
    // The shown size before the picture is turned upright.
    QSize shrunk_;
    quint16 compression_ = 0;
    bool tiled_ = false;
    qint64 parts_ = 0;

    // How its rows are read (chooseReader): by the converter where libtiff
    // delivers them in a form it takes, else sample by sample, else
    // through libtiff's own RGBA conversion.
    std::unique_ptr<TiffRowConverter> converter_;
    std::unique_ptr<TiffSampleRows> sampleRows_;
    bool throughRgba_ = false;
    // Whether libtiff's RGBA conversion takes the file, and why not, where
    // it was asked.
    bool rgbaTakes_ = false;
    QString rgbaRefusal_;
    bool wholeStrips_ = false;
    quint16 bits_ = 0;

    // Where its data lies (partsWithinFile, readPartLayout).
    qint64 largestPart_ = 0;
    quint32 tileWidth_ = 0;
    quint32 tileHeight_ = 0;
    quint32 rowsPerStrip_ = 0;
    // Rows a call to libtiff's RGBA conversion makes.
    int band_ = 0;

    // The colour profile handed on with the picture (reserveMemory).
    QByteArray profile_;
};
