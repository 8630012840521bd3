#include "picture/decode/ExifReader.h"

#include <QByteArray>
#include <QtEndian>
#include <cstring>

namespace {
// The TIFF structure inside an EXIF block: directories of 12-byte entries
// at offsets from its start. Reads beyond its end give 0.
class ExifTiff {
public:
    // data, size: the block from its "Exif\0\0" heading on.
    ExifTiff(const uchar* data, qsizetype size) {
        if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
            return;
        little_ = data[6] == 'I' && data[7] == 'I';
        if (little_ || (data[6] == 'M' && data[7] == 'M')) {
            tiff_ = data + 6;
            length_ = size - 6;
        }
    }

    bool littleEndian() const { return little_; }
    quint32 read16(qint64 at) const {
        if (at < 0 || at + 2 > length_)
            return 0;
        return little_ ? qFromLittleEndian<quint16>(tiff_ + at)
                       : qFromBigEndian<quint16>(tiff_ + at);
    }
    quint32 read32(qint64 at) const {
        if (at < 0 || at + 4 > length_)
            return 0;
        return little_ ? qFromLittleEndian<quint32>(tiff_ + at)
                       : qFromBigEndian<quint32>(tiff_ + at);
    }
    QByteArray text(qint64 at, qsizetype count) const {
        if (at < 0 || at + count > length_)
            return {};
        return QByteArray(reinterpret_cast<const char*>(tiff_ + at), count);
    }
    // Where the entry for tag lies in the directory at offset directory,
    // or -1 when it has none of that type (any type for 0).
    qint64 entry(qint64 directory, quint32 tag, quint32 type) const {
        if (directory <= 0 || directory + 2 > length_)
            return -1;
        const quint32 entries = read16(directory);
        for (quint32 i = 0; i < entries; ++i) {
            const qint64 at = directory + 2 + qint64(i) * 12;
            if (at + 12 > length_)
                break;
            if (read16(at) == tag && (type == 0 || read16(at + 2) == type))
                return at;
        }
        return -1;
    }

private:
    const uchar* tiff_ = nullptr;
    qint64 length_ = 0;
    bool little_ = false;
};
} // namespace

int exifOrientation(const uchar* data, qsizetype size) {
    const ExifTiff exif(data, size);
    // Orientation is a SHORT, but some writers store it as another integer
    // type (BYTE, LONG, signed...); the value sits at the start of the
    // entry's value field either way.
    const qint64 entry = exif.entry(exif.read32(4), 0x0112, 0);
    if (entry < 0)
        return 1;
    qint64 value = 0;
    switch (exif.read16(entry + 2)) {
    case 1: // BYTE
    case 6: // SBYTE
        value = exif.read16(entry + 8) >> (exif.littleEndian() ? 0 : 8) & 0xFF;
        break;
    case 3: // SHORT
    case 8: // SSHORT
        value = exif.read16(entry + 8);
        break;
    case 4: // LONG
    case 9: // SLONG
        value = exif.read32(entry + 8);
        break;
    default:
        return 1;
    }
    return value >= 1 && value <= 8 ? int(value) : 1;
}

bool exifSaysAdobeRgb(const uchar* data, qsizetype size) {
    const ExifTiff exif(data, size);
    // The EXIF directory's pointer, a LONG or an IFD.
    const qint64 pointer = exif.entry(exif.read32(4), 0x8769, 0);
    if (pointer < 0)
        return false;
    const qint64 directory = exif.read32(pointer + 8);
    // ColorSpace "uncalibrated", and the interoperability directory.
    const qint64 space = exif.entry(directory, 0xA001, 3);
    const qint64 interoperability = exif.entry(directory, 0xA005, 0);
    if (space < 0 || exif.read16(space + 8) != 0xFFFF || interoperability < 0)
        return false;
    // InteroperabilityIndex, four ASCII bytes held in the entry itself.
    const qint64 index = exif.entry(exif.read32(interoperability + 8), 0x0001, 2);
    return index >= 0 && exif.read32(index + 4) == 4 && exif.text(index + 8, 3) == "R03";
}

int exifBlockOrientation(const QByteArray& exif) {
    const QByteArray heading = QByteArrayLiteral("Exif\0\0");
    const QByteArray block = exif.startsWith(heading) ? exif : heading + exif;
    return exifOrientation(reinterpret_cast<const uchar*>(block.constData()), block.size());
}
