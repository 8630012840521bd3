#pragma once

#include <functional>

#include "support/FileBytes.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QString>
#include <QStringList>

class QDir;

// Writers of real picture files for the tests and the benchmarks: Qt's own
// writers, a BMP encoder for the variants Qt cannot write, and ImageMagick's
// convert for the TIFF and JPEG variants neither can.

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

// compression 1 makes a TIFF LZW; JPEG and BMP ignore it.
// The mean difference, in levels of 0-255 per channel, between two
// pictures of one size, both laid over black.
double meanDifference(const QImage& ours, const QImage& reference);

// Feeds a grey gradient of source's size (10 a column, 100 a row) to
// addRow a row at a time, then reads the grey levels of out row by row:
// what a shrinker made of it.
QList<int> shrunkGreys(QSize source, const QImage& out,
                       const std::function<void(const QRgb*)>& addRow);

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

// The first value of a tag in a TIFF's first directory, -1 when absent.
qint64 tiffTag(const QByteArray& tiff, int tag);
bool tiffHasSecondPage(const QByteArray& tiff);

// The start-of-frame marker code (0xC0 baseline, 0xC2 progressive) and the
// number of colour components of a JPEG; -1 when not found.
int jpegFrameMarker(const QByteArray& jpeg);
int jpegComponents(const QByteArray& jpeg);
// The JPEG with its frame header claiming another size.
QByteArray withJpegSize(QByteArray jpeg, int width, int height);
// The JPEG with an EXIF block carrying the given orientation (1..8).
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);
