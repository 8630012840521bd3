#pragma once

#include "picture/DecodedPicture.h"

#include <QtGlobal>
#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the JPEG on device, from its start, with libjpeg: scaled by
// eighths while decoding to the smallest size that still covers the size
// shown (DecodeContext::shownSize), its rows averaged into that size as they
// come, and turned upright by its EXIF orientation. CMYK (Adobe's inverted
// form, as libjpeg gives it) is mixed plainly (PlainInks.h) unless its
// profile converts inks, when the inks are kept for it. Hands on the
// embedded ICC profile, or Adobe RGB where only the EXIF says so. Everything
// the decode holds (libjpeg's coefficient store, the decoded, scaled and
// turned pictures) is reserved from the context before it is allocated. A file cut short, even with
// an end marker appended, is a failure, and so is a file whose scans would take far longer to
// decode than any camera picture. Runs on the caller's thread and touches nothing shared but the
// context's budget.
std::optional<DecodedPicture> decodeJpeg(QIODevice& device, DecodeContext& context, QString& error);

// The coefficient visits (blocks times band width, summed over scans) a
// decode may take; see the definition.
extern const qint64 maxJpegBlockVisits;
