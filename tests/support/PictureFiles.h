#pragma once

#include <functional>

#include "support/FileBytes.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

class QDir;

// The one maker of test pictures, for the tests and the benchmarks: Qt's
// own writers, to files or to bytes; encoders of the BMP, TIFF and JPEG
// variants Qt cannot write (palettes and run lengths, embedded profiles,
// EXIF, strips a test lays out itself); and ImageMagick's convert for what
// none of these writes.

// 64 x 48 unless asked otherwise: the top left quarter black, the rest
// white, and with colour the bottom right quarter red. Any turn, flip or
// channel mix-up shows in where those colours end up.
QImage testPattern(QSize size = QSize(64, 48), bool colour = true);
// Empty when image shows the pattern (sampled at each quarter's centre),
// else what is wrong. Tolerant of lossy compression.
QString patternMismatch(const QImage& image, bool colour);

// A flat picture whose stored values are the sRGB colour's in space, and
// which says so in the profile Qt's writers embed.
QImage flatInColourSpace(QRgb srgb, const QColorSpace& space, QSize size = QSize(64, 48));

// The mean difference, in levels of 0-255 per channel, between two
// pictures of one size, both laid over black.
double meanDifference(const QImage& ours, const QImage& reference);

// Feeds a grey gradient of source's size (10 a column, 100 a row) to
// addRow a row at a time, then reads the grey levels of out row by row:
// what a shrinker made of it.
QList<int> shrunkGreys(QSize source, const QImage& out,
                       const std::function<void(const QRgb*)>& addRow);

// compression 1 makes a TIFF LZW; JPEG and BMP ignore it.
bool writeImage(const QString& path, const QImage& image, const QByteArray& format,
                int quality = 90, bool progressive = false, int compression = -1);

// A picture of a colour gradient in folder, in the format its name's
// extension tells unless given; the test ends when it cannot be written.
QString writePicture(const QDir& folder, const QString& name, QSize size,
                     const char* format = nullptr);
// A file that carries a picture extension but holds no picture.
QString writeGarbage(const QDir& folder, const QString& name);

// A picture with grain and edges, so that it compresses like a photo and
// the encoders work as hard as on one.
QImage photoLike(QSize size, quint32 seed = 12345);
// A photo-like picture: smooth gradients of light and colour, a mid-scale
// texture and fine grain, all from seed, so that every seed gives a
// different picture which a JPEG encoder finds as dense as a camera's.
QImage cameraLike(QSize size, quint32 seed);

enum class BmpCompression { None, Rle8, Rle4 };
// A BMP of an image holding only black, white and red: 1 bit (black and
// white only), 4 or 8 bits with a palette (optionally run-length encoded),
// 16 bits (5-5-5), 24 or 32 bits; rows bottom-up, or top-down.
QByteArray bmpBytes(const QImage& image, int bitsPerPixel,
                    BmpCompression compression = BmpCompression::None, bool topDown = false);

// Runs ImageMagick's convert; empty when it is not installed.
QString convertProgram();
bool runConvert(const QStringList& arguments);
// Runs a tool (ImageMagick, an encoder, a format's reference decoder) in
// folder: empty when it ran and succeeded, toolMissing when it is not on
// the path (sanitized runs hide the tools), else what it complained of.
extern const QString toolMissing;
QString runTool(const QString& program, const QStringList& arguments, const QString& folder = {});

// The first value of a tag in a TIFF's first directory, -1 when absent.
qint64 tiffTag(const QByteArray& tiff, int tag);
bool tiffHasSecondPage(const QByteArray& tiff);

// The start-of-frame marker code (0xC0 baseline, 0xC2 progressive) and the
// number of colour components of a JPEG; -1 when not found.
int jpegFrameMarker(const QByteArray& jpeg);
int jpegComponents(const QByteArray& jpeg);
// The JPEG with its frame header claiming another size.
QByteArray withJpegSize(QByteArray jpeg, int width, int height);

// What an EXIF block says, as cameras write it: IFD0 with the orientation,
// and the EXIF directory with ColorSpace and a pointer to the
// interoperability directory, whose index says "R98" (sRGB) or "R03"
// (Adobe RGB).
struct ExifFields {
    // 1..8; 0 leaves the tag out.
    int orientation = 1;
    // The orientation's TIFF field type: 3 short as most cameras write it,
    // 1 byte, 4 long, 8 and 9 signed, or 5 rational (8 bytes elsewhere).
    int orientationType = 3;
    bool littleEndian = false;
    // 1 sRGB, 0xFFFF uncalibrated; 0 leaves it out.
    int colourSpace = 0;
    // Up to three letters; empty leaves the interoperability directory out.
    QByteArray interopIndex = {};
};
// The body of an APP1 segment: "Exif\0\0" and a TIFF structure.
QByteArray exifBlock(const ExifFields& fields);

struct JpegOptions {
    int quality = 90;
    bool progressive = false;
    // An APP1 body (exifBlock) written right after the start marker.
    QByteArray exif = {};
    // An ICC profile in APP2 segments of iccChunkBytes each, after the EXIF
    // block. iccChunkOrder lists the 1-based sequence numbers in the order
    // written, so that a chunk can go missing, come twice or out of order;
    // empty writes them all in order.
    QByteArray iccProfile = {};
    int iccChunkBytes = 65519;
    QList<int> iccChunkOrder = {};
};
// The image as a JPEG in memory, by Qt's writer (which embeds the image's
// colour space, if it has one), with the segments asked for inserted.
QByteArray jpegBytes(const QImage& image, const JpegOptions& options = {});

// A top-down 24-bit BMP with a fifth-version header and profile embedded
// after its pixels.
QByteArray bmpV5Bytes(const QImage& image, const QByteArray& profile);

// A little-endian TIFF of grey samples (8 bits, or bitsPerSample), its
// directory first, in strips of rowsPerStrip rows holding pixels as given:
// uncompressed, or all in one strip with another compression (a fax page
// at one bit). pixels need not fill the picture, so a file can be cut
// short or declare more than it holds.
QByteArray greyTiffBytes(QSize size, int rowsPerStrip, const QByteArray& pixels,
                         int compression = 1, int bitsPerSample = 8);
