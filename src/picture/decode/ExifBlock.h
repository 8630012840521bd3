#pragma once

#include <QByteArray>

// The EXIF orientation code (1 to 8) of an EXIF block as PNG's eXIf and
// WebP's EXIF chunks hold it: the TIFF structure itself, or (as some
// writers store it) behind JPEG's "Exif\0\0" prefix. 1 when it holds none.
int exifBlockOrientation(const QByteArray& exif);
