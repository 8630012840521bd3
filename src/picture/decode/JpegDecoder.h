#pragma once

#include "picture/DecodedPicture.h"

#include <QtGlobal>
#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the JPEG on device, from its current position, with libjpeg:
// scaled by eighths while decoding to the smallest size that still covers
// the context's bound, then shrunk smoothly to fit it and turned upright by
// its EXIF orientation. Everything the decode holds (libjpeg's coefficient
// store, the decoded, scaled and turned pictures) is reserved from the
// context before it is allocated. A file cut short, even with an end
// marker appended, is a failure, and so is a file whose scans would take
// far longer to decode than any camera picture. Runs on the caller's
// thread and touches nothing shared but the context's budget.
std::optional<DecodedPicture> decodeJpeg(QIODevice& device, DecodeContext& context, QString& error);

// The EXIF orientation code (1 to 8) in the body of an APP1 marker, or 1
// when it holds none.
int exifOrientation(const uchar* data, qsizetype size);
// Whether the body of an APP1 marker says the camera recorded the picture
// in Adobe RGB without embedding its profile: ColorSpace "uncalibrated"
// (0xFFFF) with the interoperability index "R03", as cameras mark it.
bool exifSaysAdobeRgb(const uchar* data, qsizetype size);

// The coefficient visits (blocks times band width, summed over scans) a
// decode may take; see the definition.
extern const qint64 maxJpegBlockVisits;
