#include "picture/decode/ExifBlock.h"

#include "picture/decode/JpegDecoder.h"

int exifBlockOrientation(const QByteArray& exif) {
    const QByteArray marker = exif.startsWith(QByteArrayLiteral("Exif\0\0"))
                                  ? exif
                                  : QByteArrayLiteral("Exif\0\0") + exif;
    return exifOrientation(reinterpret_cast<const uchar*>(marker.constData()), marker.size());
}
