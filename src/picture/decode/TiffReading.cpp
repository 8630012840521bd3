#include "picture/decode/TiffReading.h"

#include "picture/colour/ColourConversion.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/TiffDirectConverter.h"
#include "picture/decode/TiffField.h"
#include "picture/decode/TiffRowConverter.h"
#include "picture/decode/TiffSampleRows.h"
#include "picture/raster/AreaShrinker.h"
#include "picture/raster/LargeImage.h"
#include "picture/raster/PictureFit.h"
#include "picture/raster/UprightTurn.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace {

// The work one decode may take, in nanoseconds of one core of the
// machine this was measured on. A file of a few hundred kilobytes can
// declare 65535 x 65535 in one strip of compressed zeros, and decoding that
// takes seconds whatever the output size; such files are refused before
// they are read, so that every file decodes or fails within about 2 s.
// Measured on 12900 x 12900 strips of zeros (user time, median of runs):
// turning a pixel into ARGB and shrinking it costs 1.8 ns for RGB to 5.6 ns
// for 16-bit CMYK; inflating Deflate data a scanline at a time costs about
// 2 ns a decoded byte (zlib: only whole strips go through libdeflate), LZW,
// PackBits, JPEG and whole strips about 0.3-0.5. libtiff's own RGBA
// conversion adds about 3 ns a pixel. A 150 megapixel camera picture (LZW,
// 8 or 16 bits) comes to 0.8-1.1 s and loads.
constexpr double maxDecodeNanoseconds = 1.8e9;
constexpr double pixelNanoseconds = 1.5;
constexpr double sampleNanoseconds = 0.75;
constexpr double fallbackPixelNanoseconds = 3;
constexpr double streamedDeflateByteNanoseconds = 2.1;
constexpr double decodedByteNanoseconds = 0.6;
// Unpacking samples of fewer than 8 bits costs about as much again as
// turning them into ARGB and shrinking (a 852040 x 200 fax page).
constexpr double packedPixelNanoseconds = 1.5;
// Samples of the rarer layouts are taken one at a time, wherever their bits
// lie; floats are read twice, once for their range.
constexpr double looseSampleNanoseconds = 6;
// Wider or taller pictures are refused: the shrinker's 32-bit row sums
// hold boxes up to this width.
constexpr quint32 maxSide = 1u << 24;
// Codec state beyond the buffers counted one by one (zlib's window, LZW's
// table, libjpeg's per-row state is counted by width).
constexpr qint64 codecBytes = qint64(256) << 10;
// How often the decode looks whether it is still wanted, in source rows.
constexpr int rowsBetweenChecks = 16;

} // namespace

TiffReading::TiffReading(TIFF* tiff, qint64 fileSize, DecodeContext& context, QString& libraryError,
                         const bool& dataDamaged)
    : tiff_(tiff)
    , fileSize_(fileSize)
    , context_(context)
    , libraryError_(libraryError)
    , dataDamaged_(dataDamaged) {}

TiffReading::~TiffReading() = default;

std::optional<DecodedPicture> TiffReading::decode() {
    if (!measure())
        return std::nullopt;
    chooseReader();
    if (!workWithinLimit() || !partsWithinFile() || !readPartLayout() || !readerTakesFile() ||
        !reserveMemory())
        return std::nullopt;
    return readPicture();
}

bool TiffReading::refuse(const QString& reason) {
    error = reason;
    return false;
}

std::optional<DecodedPicture> TiffReading::fail(const QString& reason) {
    error = reason;
    return std::nullopt;
}

std::optional<DecodedPicture> TiffReading::readFailed() {
    if (context_.isCancelled())
        return fail(QStringLiteral("cancelled"));
    return fail(libraryError_.isEmpty() ? QStringLiteral("the picture data cannot be read")
                                        : libraryError_);
}

// Also stops at the first damaged line, which refuses the file anyway.
bool TiffReading::stillWanted(quint32 row) {
    return !dataDamaged_ && (row % rowsBetweenChecks != 0 || !context_.isCancelled());
}

// The picture's size and orientation, and the sizes it is shown at.
bool TiffReading::measure() {
    width_ = tiffField<quint32>(tiff_, TIFFTAG_IMAGEWIDTH);
    height_ = tiffField<quint32>(tiff_, TIFFTAG_IMAGELENGTH);
    samples_ = tiffField<quint16>(tiff_, TIFFTAG_SAMPLESPERPIXEL);
    if (width_ == 0 || height_ == 0 || samples_ == 0)
        return refuse(QStringLiteral("the picture has no pixels"));
    if (width_ > maxSide || height_ > maxSide)
        return refuse(QStringLiteral("the picture is too large to decode"));

    orientation_ = tiffField<quint16>(tiff_, TIFFTAG_ORIENTATION);
    stored_ = QSize(int(width_), int(height_));
    upright_ = turnsSideways(orientation_) ? stored_.transposed() : stored_;
    shown_ = context_.shownSize(upright_);
    shrunk_ = turnsSideways(orientation_) ? shown_.transposed() : shown_;
    compression_ = tiffField<quint16>(tiff_, TIFFTAG_COMPRESSION);

    tiled_ = TIFFIsTiled(tiff_);
    parts_ = tiled_ ? TIFFNumberOfTiles(tiff_) : TIFFNumberOfStrips(tiff_);
    // Each strip or tile takes at least a byte of the file.
    if (parts_ > fileSize_)
        return refuse(QString::fromLatin1(cutShortMessage));
    return true;
}

void TiffReading::chooseReader() {
    // Sets the JPEG colour mode, which changes the sizes asked for after it.
    converter_ = directTiffConverter(tiff_);
    bits_ = tiffField<quint16>(tiff_, TIFFTAG_BITSPERSAMPLE);
    if (!converter_) {
        // Layouts libtiff's RGBA reader does not take (it takes 8 and 16-bit
        // unsigned samples, and says so for some others it then fails on)
        // are read sample by sample, where they are of a colour model it
        // knows.
        const bool rgbaLayout =
            (bits_ == 8 || bits_ == 16) &&
            tiffField<quint16>(tiff_, TIFFTAG_SAMPLEFORMAT) == SAMPLEFORMAT_UINT;
        const auto askRgba = [this] {
            char message[1024] = {};
            rgbaTakes_ = TIFFRGBAImageOK(tiff_, message);
            rgbaRefusal_ = QString::fromUtf8(message);
        };
        if (rgbaLayout)
            askRgba();
        if (!rgbaTakes_ && TiffSampleRows::handles(tiff_))
            sampleRows_ = std::make_unique<TiffSampleRows>(tiff_, width_, height_);
        else if (!rgbaLayout)
            askRgba();
    }
    throughRgba_ = !converter_ && !sampleRows_;
    // Whole strips where they are small, as most writers make them: libtiff
    // then inflates each in one call (with libdeflate where it has it),
    // several times faster than a scanline at a time.
    wholeStrips_ = converter_ && !tiled_ && TIFFStripSize64(tiff_) <= maxWholeStripBytes;
}
// Refuses files whose decoding would take far longer than any real
// picture's, before a byte of their data is read.
bool TiffReading::workWithinLimit() {
    // Known before any memory is set aside for what it would decode to.
    if (!TIFFIsCODECConfigured(compression_))
        return refuse(QStringLiteral("the picture's compression is not supported"));
    const double pixels = double(width_) * height_;
    const double decodedBytes = pixels * samples_ * bits_ / 8;
    const bool streamedDeflate = !wholeStrips_ && (compression_ == COMPRESSION_ADOBE_DEFLATE ||
                                                   compression_ == COMPRESSION_DEFLATE);
    const double looseSamples =
        sampleRows_ ? samples_ * (sampleRows_->isFloat() ? 2 : 1) * looseSampleNanoseconds : 0;
    const double work =
        pixels * (pixelNanoseconds + sampleNanoseconds * samples_ + looseSamples +
                  (bits_ < 8 ? packedPixelNanoseconds : 0) +
                  (throughRgba_ ? fallbackPixelNanoseconds : 0)) +
        decodedBytes * (streamedDeflate ? streamedDeflateByteNanoseconds : decodedByteNanoseconds);
    if (work > maxDecodeNanoseconds)
        return refuse(QStringLiteral("the picture is too large to decode"));
    return true;
}

// Whether every strip or tile lies within the file: a file cut short, or
// one whose strips were never written, fails instead of showing grey. Also
// finds the largest, which bounds libtiff's buffer for undecoded data.
bool TiffReading::partsWithinFile() {
    const quint32 count = tiled_ ? TIFFNumberOfTiles(tiff_) : TIFFNumberOfStrips(tiff_);
    for (quint32 i = 0; i < count; ++i) {
        int failed = 0;
        const quint64 offset = TIFFGetStrileOffsetWithErr(tiff_, i, &failed);
        const quint64 bytes = TIFFGetStrileByteCountWithErr(tiff_, i, &failed);
        if (failed || bytes == 0 || offset > quint64(fileSize_) ||
            bytes > quint64(fileSize_) - offset)
            return refuse(QString::fromLatin1(cutShortMessage));
        largestPart_ = std::max(largestPart_, qint64(bytes));
    }
    if (count == 0)
        return refuse(QString::fromLatin1(cutShortMessage));
    return true;
}

// The tiles' size, or the rows of a strip, and the rows of each call to
// libtiff's RGBA conversion.
bool TiffReading::readPartLayout() {
    if (tiled_) {
        TIFFGetField(tiff_, TIFFTAG_TILEWIDTH, &tileWidth_);
        TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &tileHeight_);
        if (tileWidth_ == 0 || tileHeight_ == 0)
            return refuse(QStringLiteral("the picture has no tiles"));
    } else {
        rowsPerStrip_ = std::clamp(tiffField<quint32>(tiff_, TIFFTAG_ROWSPERSTRIP), 1u, height_);
    }
    // Whole strips or rows of tiles a band: a smaller band would decode the
    // same strip again for every band it spans.
    if (throughRgba_)
        band_ = int(std::clamp(std::max(tiled_ ? tileHeight_ : rowsPerStrip_, 16u), 1u, height_));
    return true;
}

bool TiffReading::readerTakesFile() {
    if (throughRgba_ && !rgbaTakes_)
        return refuse(rgbaRefusal_);
    return true;
}

// Claims everything held at once: the offset and size of every part, the
// undecoded part, codec state, one row of pixels and the shrinker's sums,
// the shrunk picture and its upright copy, the reader's buffers, and the
// colour profile as libtiff and the picture hold it.
bool TiffReading::reserveMemory() {
    const qint64 w = width_;
    const qint64 shownBytes = qint64(shown_.width()) * shown_.height() * 4;
    qint64 total = parts_ * 16 + largestPart_ + codecBytes + w * 4 +
                   AreaShrinker::workingBytes(shrunk_) + shownBytes +
                   (orientation_ > 1 && orientation_ <= 8 ? shownBytes : 0);
    if (compression_ == COMPRESSION_JPEG)
        total += w * samples_ * 32;
    total += readerBytes();
    profile_ = pixelProfile(converter_.get());
    total += 2 * profile_.size();
    if (!context_.reserve(total))
        return refuse(context_.isCancelled() ? QStringLiteral("cancelled")
                                             : QString::fromLatin1(memoryMessage));
    return true;
}

// The buffers the chosen reader holds.
qint64 TiffReading::readerBytes() const {
    const qint64 w = width_;
    if (converter_) {
        qint64 bytes = TiffRowConverter::workingBytes(w, samples_);
        if (tiled_) {
            const qint64 across = (w + tileWidth_ - 1) / tileWidth_;
            bytes += across * TIFFTileRowSize64(tiff_) * (std::min(tileHeight_, height_) + 1);
        } else {
            bytes += wholeStrips_ ? TIFFStripSize64(tiff_) : TIFFScanlineSize64(tiff_);
        }
        return bytes;
    }
    if (sampleRows_)
        return sampleRows_->workingBytes();
    const bool separate = tiffField<quint16>(tiff_, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE;
    const qint64 planes = separate ? samples_ : 1;
    return w * band_ * 4 + planes * (tiled_ ? TIFFTileSize64(tiff_) : TIFFStripSize64(tiff_));
}

std::optional<DecodedPicture> TiffReading::readPicture() {
    const bool inks = ColourConversion::modelOf(profile_) == ColourConversion::Model::Cmyk;
    bool alpha = (converter_ && converter_->hasAlpha()) || (sampleRows_ && sampleRows_->hasAlpha());
    TIFFRGBAImage rgba{};
    if (throughRgba_) {
        char message[1024] = {};
        if (!TIFFRGBAImageBegin(&rgba, tiff_, 1, message))
            return fail(QString::fromUtf8(message));
        alpha = rgba.alpha != 0;
    }
    QImage image = largeImage(shrunk_, inks    ? ColourConversion::inksFormat
                                       : alpha ? QImage::Format_ARGB32_Premultiplied
                                               : QImage::Format_RGB32);
    const bool read = !image.isNull() && readRows(rgba, image);
    if (throughRgba_)
        TIFFRGBAImageEnd(&rgba);
    if (image.isNull())
        return fail(QString::fromLatin1(memoryMessage));
    if (dataDamaged_)
        return fail(QStringLiteral("the picture data is damaged"));
    if (!read)
        return readFailed();
    return DecodedPicture{turnUpright(image, orientation_), upright_, std::move(profile_)};
}

// Every row, by the chosen reader, shrunk into image.
bool TiffReading::readRows(TIFFRGBAImage& rgba, QImage& image) {
    AreaShrinker shrinker(stored_, image);
    bool read = false;
    if (sampleRows_)
        read = readSampleRows(*sampleRows_, shrinker);
    else if (throughRgba_)
        read = readThroughRgba(rgba, shrinker);
    else if (tiled_)
        read = readTiles(*converter_, shrinker);
    else
        read = readStrips(*converter_, shrinker);
    return read && shrinker.isComplete();
}

// The file's colour profile where it describes the pixels as they are
// read: RGB (palette and YCbCr read as RGB), grey levels with black at
// zero, or CMYK inks the converter can keep and the profile can convert.
QByteArray TiffReading::pixelProfile(TiffRowConverter* converter) {
    quint32 bytes = 0;
    void* data = nullptr;
    if (!TIFFGetField(tiff_, TIFFTAG_ICCPROFILE, &bytes, &data) || !data ||
        bytes > quint32(ColourConversion::maxProfileBytes))
        return {};
    const QByteArray profile(static_cast<const char*>(data), qsizetype(bytes));
    using Model = ColourConversion::Model;
    switch (tiffField<quint16>(tiff_, TIFFTAG_PHOTOMETRIC)) {
    case PHOTOMETRIC_RGB:
    case PHOTOMETRIC_YCBCR:
    case PHOTOMETRIC_PALETTE:
        return ColourConversion::modelOf(profile) == Model::Rgb ? profile : QByteArray();
    case PHOTOMETRIC_MINISBLACK:
        return ColourConversion::modelOf(profile) == Model::Grey ? profile : QByteArray();
    case PHOTOMETRIC_SEPARATED:
        if (converter && ColourConversion::forDisplay().takesInks(profile) && converter->keepInks())
            return profile;
        break;
    default:
        break;
    }
    return {};
}

bool TiffReading::readStrips(TiffRowConverter& converter, AreaShrinker& shrinker) {
    const quint32 rowsPerStrip = rowsPerStrip_;
    const size_t rowBytes = size_t(TIFFScanlineSize64(tiff_));
    std::vector<uchar> rows(wholeStrips_ ? size_t(TIFFStripSize64(tiff_)) : rowBytes);
    std::vector<QRgb> pixels(width_);
    quint32 stripEnd = 0;
    for (quint32 y = 0; y < height_; ++y) {
        if (!stillWanted(y))
            return false;
        const uchar* row = rows.data();
        if (!wholeStrips_) {
            if (TIFFReadScanline(tiff_, rows.data(), y, 0) < 0)
                return false;
        } else if (y == stripEnd) {
            const quint32 count = std::min(rowsPerStrip, height_ - y);
            const tmsize_t read = TIFFReadEncodedStrip(tiff_, y / rowsPerStrip, rows.data(),
                                                       tmsize_t(count * rowBytes));
            if (read < tmsize_t(count * rowBytes))
                return false;
            stripEnd = y + count;
        } else {
            row += (y % rowsPerStrip) * rowBytes;
        }
        converter.convert(row, int(width_), pixels.data());
        shrinker.addRow(pixels.data());
    }
    return true;
}

bool TiffReading::readTiles(TiffRowConverter& converter, AreaShrinker& shrinker) {
    const int tileWidth = int(tileWidth_);
    const int tileHeight = int(tileHeight_);
    const size_t across = (width_ + quint32(tileWidth) - 1) / quint32(tileWidth);
    const size_t rowBytes = size_t(TIFFTileRowSize64(tiff_));
    // Only a tile's rows that can lie in the picture are read, and the
    // buffers are left unset: libtiff fills what it reads, and a crafted
    // tile can be hundreds of megabytes wider or taller than the picture.
    const size_t tileBytes = rowBytes * std::min(quint32(tileHeight), height_);
    const std::unique_ptr<uchar[]> tiles(new (std::nothrow) uchar[across * tileBytes]);
    const std::unique_ptr<uchar[]> line(new (std::nothrow) uchar[across * rowBytes]);
    std::vector<QRgb> pixels(width_);
    if (!tiles || !line)
        return false;
    for (quint32 top = 0; top < height_; top += quint32(tileHeight)) {
        if (context_.isCancelled() || dataDamaged_)
            return false;
        const quint32 rows = std::min(quint32(tileHeight), height_ - top);
        const tmsize_t want = tmsize_t(rowBytes * rows);
        for (size_t column = 0; column < across; ++column) {
            const ttile_t tile =
                TIFFComputeTile(tiff_, quint32(column) * quint32(tileWidth), top, 0, 0);
            if (TIFFReadEncodedTile(tiff_, tile, tiles.get() + column * tileBytes, want) < want)
                return false;
        }
        for (quint32 row = 0; row < rows; ++row) {
            for (size_t column = 0; column < across; ++column)
                std::copy_n(tiles.get() + column * tileBytes + row * rowBytes, rowBytes,
                            line.get() + column * rowBytes);
            converter.convert(line.get(), int(width_), pixels.data());
            shrinker.addRow(pixels.data());
        }
    }
    return true;
}

bool TiffReading::readSampleRows(TiffSampleRows& rows, AreaShrinker& shrinker) {
    if (rows.isFloat() && !rows.findRange())
        return false;
    std::vector<QRgb> pixels(width_);
    for (quint32 y = 0; y < height_; ++y) {
        if (!stillWanted(y) || !rows.readRow(y, pixels.data()))
            return false;
        shrinker.addRow(pixels.data());
    }
    return true;
}

// libtiff's RGBA pixels hold red in the low byte; they come premultiplied.
bool TiffReading::readThroughRgba(TIFFRGBAImage& rgba, AreaShrinker& shrinker) {
    const int band = band_;
    // Rows as stored: the orientation is applied with every other format's.
    rgba.req_orientation = ORIENTATION_TOPLEFT;
    rgba.orientation = ORIENTATION_TOPLEFT;
    // Both left unset: libtiff fills every row asked for, and a wide
    // picture's band is hundreds of megabytes that need not be cleared.
    const std::unique_ptr<quint32[]> raster(new (std::nothrow)
                                                quint32[size_t(width_) * size_t(band)]);
    const std::unique_ptr<QRgb[]> pixels(new (std::nothrow) QRgb[width_]);
    if (!raster || !pixels)
        return false;
    for (quint32 top = 0; top < height_; top += quint32(band)) {
        if (context_.isCancelled() || dataDamaged_)
            return false;
        const quint32 rows = std::min(quint32(band), height_ - top);
        rgba.row_offset = int(top);
        rgba.col_offset = 0;
        if (!TIFFRGBAImageGet(&rgba, raster.get(), width_, rows))
            return false;
        for (quint32 row = 0; row < rows; ++row) {
            const quint32* abgr = raster.get() + size_t(row) * width_;
            for (quint32 x = 0; x < width_; ++x) {
                const quint32 p = abgr[x];
                pixels[x] = (p & 0xFF00FF00u) | ((p & 0xFF) << 16) | ((p >> 16) & 0xFF);
            }
            shrinker.addRow(pixels.get());
        }
    }
    return true;
}
