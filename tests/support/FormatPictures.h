#pragma once

#include <QString>

class QDir;
class QImage;

// A picture in one of the formats Qt does not write (or not as cameras and
// browsers do), made by the format's own encoder from image:
//   "png"          Qt's writer
//   "gif"          ImageMagick's convert
//   "webp"         cwebp, lossless
//   "heic"         heif-enc (HEVC, 4:2:0, quality 90)
//   "avif"         avifenc
//   "avif turned"  avifenc, the pixels stored a quarter turn right with an
//                  irot box that turns them back
//   "avif 10-bit mirrored"  avifenc at 10 bits, the pixels stored with
//                  left and right swapped and an imir box that swaps them
//                  back (which libheif 1.15 cannot do at that depth)
//   "jxl"          cjxl, lossless
//   "jxl turned"   cjxl from a JPEG stored a quarter turn left whose EXIF
//                  says to turn it right, which cjxl keeps as the JPEG XL's
//                  orientation
// The file is called name in folder, whatever its extension says (the
// encoders write under a name of their own, then it is renamed). Returns
// empty when written, toolMissing (PictureFiles.h) when an encoder is not
// on the path, else what went wrong.
QString writeInFormat(const QDir& folder, const QString& name, const QString& format,
                      const QImage& image);

// The columns name, format and size (upright, as shown) and a row for each
// format above, as cameras, phones and browsers name their files: some in
// capitals, HEIF under each of its extensions.
void addFormatRows();

class QWidget;
// What widget draws on screen, cut to the picture of testPattern it shows:
// everything unlike the widget's top left corner (its background, or the
// pattern's black quarter where the picture fills it) lies within the
// picture, whose other three quarters reach all its edges.
QImage shownPattern(QWidget& widget);
