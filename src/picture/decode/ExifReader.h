#pragma once

#include <QByteArray>
#include <QtGlobal>

// Reads what the program needs from an EXIF block: the TIFF structure after
// an "Exif\0\0" heading, as a JPEG's APP1 marker holds it, read with bounds
// checked at every step, so a damaged or hostile block gives the defaults.
// Formats that store the TIFF structure bare (PNG's eXIf chunk, the Exif
// items of HEIF and JPEG XL after their offset field) pass it with the
// heading put in front. Plain functions of their input; any thread may call
// them.

// The EXIF orientation code (1 to 8) in the block, or 1 when it holds none.
// data, size: the block from its heading on.
int exifOrientation(const uchar* data, qsizetype size);
// Whether the block says the camera recorded the picture in Adobe RGB
// without embedding its profile: ColorSpace "uncalibrated" (0xFFFF) with the
// interoperability index "R03", as cameras mark it.
bool exifSaysAdobeRgb(const uchar* data, qsizetype size);
// The orientation of an EXIF block as PNG's eXIf and WebP's EXIF chunks
// hold it: the TIFF structure itself, or (as some writers store it) behind
// the "Exif\0\0" heading. 1 when it holds none.
int exifBlockOrientation(const QByteArray& exif);
