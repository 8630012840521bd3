#include "support/PictureFiles.h"

#include <QBuffer>
#include <QColorTransform>
#include <QDir>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>
#include <QtMath>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {
void putLe16(QByteArray& bytes, int value) {
    bytes.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF));
}

void putLe32(QByteArray& bytes, qint64 value) {
    putLe16(bytes, int(value & 0xFFFF));
    putLe16(bytes, int((value >> 16) & 0xFFFF));
}

// Black, white, red: the pattern's colours, as palette indexes.
int paletteIndex(QRgb pixel) {
    if (qRed(pixel) > 128 && qGreen(pixel) < 128)
        return 2;
    return qGray(pixel) > 128 ? 1 : 0;
}

QByteArray runLengthRows(const QImage& image, bool fourBits) {
    QByteArray data;
    for (int y = image.height() - 1; y >= 0; --y) {
        int x = 0;
        while (x < image.width()) {
            const int index = paletteIndex(image.pixel(x, y));
            int run = 1;
            while (x + run < image.width() && run < 255 &&
                   paletteIndex(image.pixel(x + run, y)) == index)
                ++run;
            data.append(char(run)).append(char(fourBits ? (index << 4) | index : index));
            x += run;
        }
        data.append('\0').append('\0');
    }
    data.append('\0').append('\1');
    return data;
}

QByteArray plainRows(const QImage& image, int bitsPerPixel, bool topDown) {
    const int stride = (image.width() * bitsPerPixel + 31) / 32 * 4;
    QByteArray data;
    for (int row = 0; row < image.height(); ++row) {
        const int y = topDown ? row : image.height() - 1 - row;
        QByteArray line(stride, '\0');
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const int index = paletteIndex(pixel);
            switch (bitsPerPixel) {
            case 1:
                line[x / 8] = char(line[x / 8] | (index ? 0x80 >> (x % 8) : 0));
                break;
            case 4:
                line[x / 2] = char(line[x / 2] | (x % 2 ? index : index << 4));
                break;
            case 8:
                line[x] = char(index);
                break;
            case 16: {
                const int value =
                    (qRed(pixel) >> 3) << 10 | (qGreen(pixel) >> 3) << 5 | qBlue(pixel) >> 3;
                line[2 * x] = char(value & 0xFF);
                line[2 * x + 1] = char(value >> 8);
                break;
            }
            default: {
                const int bytes = bitsPerPixel / 8;
                line[bytes * x] = char(qBlue(pixel));
                line[bytes * x + 1] = char(qGreen(pixel));
                line[bytes * x + 2] = char(qRed(pixel));
                break;
            }
            }
        }
        data.append(line);
    }
    return data;
}
} // namespace

QImage flatInColourSpace(QRgb srgb, const QColorSpace& space, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColorSpace(QColorSpace::SRgb).transformationToColorSpace(space).map(srgb));
    image.setColorSpace(space);
    return image;
}

QImage testPattern(QSize size, bool colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const int halfWidth = size.width() / 2;
    const int halfHeight = size.height() / 2;
    painter.fillRect(0, 0, halfWidth, halfHeight, Qt::black);
    if (colour)
        painter.fillRect(halfWidth, halfHeight, size.width() - halfWidth,
                         size.height() - halfHeight, Qt::red);
    return image;
}

QString patternMismatch(const QImage& image, bool colour) {
    if (image.isNull())
        return QStringLiteral("no image");
    const int w = image.width();
    const int h = image.height();
    const QRgb topLeft = image.pixel(w / 4, h / 4);
    const QRgb topRight = image.pixel(3 * w / 4, h / 4);
    const QRgb bottomLeft = image.pixel(w / 4, 3 * h / 4);
    const QRgb bottomRight = image.pixel(3 * w / 4, 3 * h / 4);
    if (qGray(topLeft) > 64)
        return QStringLiteral("top left is not black");
    if (qGray(topRight) < 192 || qGray(bottomLeft) < 192)
        return QStringLiteral("top right or bottom left is not white");
    const bool red = qRed(bottomRight) > 160 && qGreen(bottomRight) < 96 && qBlue(bottomRight) < 96;
    if (colour && !red)
        return QStringLiteral("bottom right is not red");
    if (!colour && qGray(bottomRight) < 192)
        return QStringLiteral("bottom right is not white");
    return {};
}

bool writeImage(const QString& path, const QImage& image, const QByteArray& format, int quality,
                bool progressive, int compression) {
    QImageWriter writer(path, format);
    writer.setQuality(quality);
    writer.setCompression(compression);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image);
}

QString writePicture(const QDir& folder, const QString& name, QSize size, const char* format) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x * 255 / size.width(), y * 255 / size.height(), 128);
    }
    const QString path = folder.filePath(name);
    if (!format) {
        const QString suffix = name.section(QLatin1Char('.'), -1).toLower();
        format = suffix == QLatin1String("bmp")            ? "bmp"
                 : suffix.startsWith(QLatin1String("tif")) ? "tif"
                                                           : "jpg";
    }
    if (!image.save(path, format))
        qFatal("could not write the test picture %s", qPrintable(path));
    return path;
}

QString writeGarbage(const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name);
    if (!writeBytes(path, "this is no picture at all\n"))
        qFatal("could not write %s", qPrintable(path));
    return path;
}

QImage photoLike(QSize size, quint32 seed) {
    QImage image(size, QImage::Format_RGB32);
    quint32 noise = seed;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 28);
            line[x] = qRgb((x * 255 / size.width() + grain) & 0xFF,
                           (y * 255 / size.height() + ((x / 40) % 2) * 60) & 0xFF,
                           ((x + y) / 16 + grain * 3) & 0xFF);
        }
    }
    return image;
}

namespace {
// A small, fast, deterministic generator: the same seed gives the same
// picture on every machine, so cached and regenerated sets agree.
struct Random {
    quint32 state;
    quint32 next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    double unit() { return next() / 4294967296.0; }
};

// One channel's broad light: a sum of slow waves along each axis and one
// across, kept as per-row and per-column tables so a pixel costs additions.
struct Gradient {
    std::vector<float> byColumn;
    std::vector<float> byRow;
    std::vector<float> acrossColumn;
    std::vector<float> acrossRow;

    Gradient(QSize size, Random& random) {
        byColumn.resize(size.width());
        acrossColumn.resize(size.width());
        byRow.resize(size.height());
        acrossRow.resize(size.height());
        const double fx = (0.5 + random.unit() * 2.5) * 2 * M_PI / size.width();
        const double fy = (0.5 + random.unit() * 2.5) * 2 * M_PI / size.height();
        const double gx = (1.0 + random.unit() * 4.0) * 2 * M_PI / size.width();
        const double gy = (1.0 + random.unit() * 4.0) * 2 * M_PI / size.height();
        const double px = random.unit() * 2 * M_PI, py = random.unit() * 2 * M_PI;
        const double qx = random.unit() * 2 * M_PI, qy = random.unit() * 2 * M_PI;
        const double base = 60 + random.unit() * 100;
        for (int x = 0; x < size.width(); ++x) {
            byColumn[x] = float(base + 45 * std::sin(fx * x + px));
            acrossColumn[x] = float(std::sin(gx * x + qx));
        }
        for (int y = 0; y < size.height(); ++y) {
            byRow[y] = float(35 * std::sin(fy * y + py));
            acrossRow[y] = float(40 * std::sin(gy * y + qy));
        }
    }
    float at(int x, int y) const { return byColumn[x] + byRow[y] + acrossColumn[x] * acrossRow[y]; }
};

// A coarse lattice of random values, smoothly interpolated: leaves, stone,
// fabric, the detail that keeps a photo's mid frequencies busy.
struct Texture {
    static constexpr int cell = 6;
    int columns;
    std::vector<float> lattice;

    Texture(QSize size, Random& random)
        : columns(size.width() / cell + 2) {
        lattice.resize(std::size_t(columns) * (size.height() / cell + 2));
        for (float& value : lattice)
            value = float(random.unit() * 2 - 1);
    }
    float at(int x, int y) const {
        const int cx = x / cell, cy = y / cell;
        const float fx = float(x % cell) / cell, fy = float(y % cell) / cell;
        const float* row = lattice.data() + std::size_t(cy) * columns + cx;
        const float top = row[0] + (row[1] - row[0]) * fx;
        const float bottom = row[columns] + (row[columns + 1] - row[columns]) * fx;
        return top + (bottom - top) * fy;
    }
};

int clampByte(float value) {
    return value < 0 ? 0 : value > 255 ? 255 : int(value);
}
} // namespace

QImage cameraLike(QSize size, quint32 seed) {
    Random random{seed * 2654435761u + 1};
    const Gradient red(size, random), green(size, random), blue(size, random);
    const Texture texture(size, random);
    const float textureDepth = float(18 + random.unit() * 6);
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const quint32 noise = random.next();
            // Sensor grain, mostly in the light and a little in the colour,
            // as strong as a camera's at quality 90: about 9.7 MB a picture.
            const float grain = float(int(noise & 15) + int((noise >> 4) & 15) - 15) * 1.75f;
            const float tint = float(int((noise >> 8) & 7) - 4);
            const float detail = texture.at(x, y) * textureDepth + grain;
            line[x] =
                qRgb(clampByte(red.at(x, y) + detail + tint), clampByte(green.at(x, y) + detail),
                     clampByte(blue.at(x, y) + detail - tint));
        }
    }
    return image;
}

QByteArray bmpBytes(const QImage& image, int bitsPerPixel, BmpCompression compression,
                    bool topDown) {
    const bool rle = compression != BmpCompression::None;
    const QByteArray pixels = rle ? runLengthRows(image, compression == BmpCompression::Rle4)
                                  : plainRows(image, bitsPerPixel, topDown);
    QByteArray palette;
    if (bitsPerPixel <= 8) {
        const QRgb colours[] = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(255, 0, 0)};
        for (int i = 0; i < (1 << bitsPerPixel); ++i) {
            const QRgb colour = i < 3 ? colours[i] : qRgb(0, 0, 0);
            palette.append(char(qBlue(colour))).append(char(qGreen(colour)));
            palette.append(char(qRed(colour))).append('\0');
        }
    }
    const int offset = 14 + 40 + int(palette.size());
    QByteArray bytes("BM");
    putLe32(bytes, offset + pixels.size());
    putLe32(bytes, 0);
    putLe32(bytes, offset);
    putLe32(bytes, 40);
    putLe32(bytes, image.width());
    putLe32(bytes, topDown ? -image.height() : image.height());
    putLe16(bytes, 1);
    putLe16(bytes, bitsPerPixel);
    putLe32(bytes, compression == BmpCompression::Rle8   ? 1
                   : compression == BmpCompression::Rle4 ? 2
                                                         : 0);
    putLe32(bytes, pixels.size());
    putLe32(bytes, 2835);
    putLe32(bytes, 2835);
    putLe32(bytes, bitsPerPixel <= 8 ? 1 << bitsPerPixel : 0);
    putLe32(bytes, 0);
    return bytes + palette + pixels;
}

QString convertProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("convert"));
}

bool runConvert(const QStringList& arguments) {
    return runTool(QStringLiteral("convert"), arguments).isEmpty();
}

const QString toolMissing = QStringLiteral("missing");

QString runTool(const QString& program, const QStringList& arguments, const QString& folder) {
    const QString tool = QStandardPaths::findExecutable(program);
    if (tool.isEmpty())
        return toolMissing;
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(tool, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return program + QStringLiteral(": ") +
               QString::fromLocal8Bit(process.readAllStandardError());
    return {};
}

qint64 tiffTag(const QByteArray& tiff, int tag) {
    if (tiff.size() < 8)
        return -1;
    const bool big = tiff.startsWith("MM");
    const auto* bytes = reinterpret_cast<const uchar*>(tiff.constData());
    auto u16 = [&](qint64 at) {
        return at + 2 > tiff.size() ? -1
                                    : int(big ? qFromBigEndian<quint16>(bytes + at)
                                              : qFromLittleEndian<quint16>(bytes + at));
    };
    auto u32 = [&](qint64 at) {
        return at + 4 > tiff.size() ? qint64(-1)
                                    : qint64(big ? qFromBigEndian<quint32>(bytes + at)
                                                 : qFromLittleEndian<quint32>(bytes + at));
    };
    const qint64 directory = u32(4);
    const int count = u16(directory);
    for (int i = 0; i < count; ++i) {
        const qint64 entry = directory + 2 + 12 * qint64(i);
        if (u16(entry) != tag)
            continue;
        const int type = u16(entry + 2);
        const qint64 values = u32(entry + 4);
        const int size = type == 3 ? 2 : 4;
        const qint64 at = values * size <= 4 ? entry + 8 : u32(entry + 8);
        return size == 2 ? u16(at) : u32(at);
    }
    return -1;
}

bool tiffHasSecondPage(const QByteArray& tiff) {
    const bool big = tiff.startsWith("MM");
    const auto* bytes = reinterpret_cast<const uchar*>(tiff.constData());
    const qint64 directory =
        big ? qFromBigEndian<quint32>(bytes + 4) : qFromLittleEndian<quint32>(bytes + 4);
    const int count = big ? qFromBigEndian<quint16>(bytes + directory)
                          : qFromLittleEndian<quint16>(bytes + directory);
    const qint64 next = directory + 2 + 12 * qint64(count);
    return (big ? qFromBigEndian<quint32>(bytes + next)
                : qFromLittleEndian<quint32>(bytes + next)) != 0;
}

namespace {
// The position of the JPEG's start-of-frame marker, -1 when none.
qsizetype frameMarkerAt(const QByteArray& jpeg) {
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg.at(at)) == 0xFF) {
        const int code = uchar(jpeg.at(at + 1));
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC)
            return at;
        at += 2 + (uchar(jpeg.at(at + 2)) << 8 | uchar(jpeg.at(at + 3)));
    }
    return -1;
}
} // namespace

int jpegFrameMarker(const QByteArray& jpeg) {
    const qsizetype at = frameMarkerAt(jpeg);
    return at < 0 ? -1 : uchar(jpeg.at(at + 1));
}

int jpegComponents(const QByteArray& jpeg) {
    const qsizetype at = frameMarkerAt(jpeg);
    return at < 0 || at + 9 >= jpeg.size() ? -1 : uchar(jpeg.at(at + 9));
}

QByteArray withJpegSize(QByteArray jpeg, int width, int height) {
    const qsizetype at = frameMarkerAt(jpeg);
    if (at < 0)
        return {};
    qToBigEndian<quint16>(quint16(height), jpeg.data() + at + 5);
    qToBigEndian<quint16>(quint16(width), jpeg.data() + at + 7);
    return jpeg;
}

namespace {
// TIFF-structure integers in one byte order, as EXIF blocks hold them.
struct TiffWriter {
    bool little;
    QByteArray bytes;

    void put16(qint64 value) {
        const char low = char(value & 0xFF), high = char((value >> 8) & 0xFF);
        bytes.append(little ? low : high).append(little ? high : low);
    }
    void put32(qint64 value) {
        put16(little ? value & 0xFFFF : (value >> 16) & 0xFFFF);
        put16(little ? (value >> 16) & 0xFFFF : value & 0xFFFF);
    }
    // An entry of one value, left-justified in the four bytes in its own
    // width; a rational's value is the offset of its eight bytes.
    void entry(int tag, int type, qint64 value) {
        put16(tag);
        put16(type);
        put32(1);
        const int width = type == 1 || type == 6 ? 1 : type == 3 || type == 8 ? 2 : 4;
        if (width == 1)
            bytes.append(char(value)).append(3, '\0');
        else if (width == 2)
            put16(value), put16(0);
        else
            put32(value);
    }
};
} // namespace

QByteArray exifBlock(const ExifFields& fields) {
    TiffWriter out{fields.littleEndian, {}};
    out.bytes = fields.littleEndian ? QByteArray("II*\0", 4) : QByteArray("MM\0*", 4);
    out.put32(8);
    const bool interop = !fields.interopIndex.isEmpty();
    const bool exifDirectory = fields.colourSpace || interop;
    const bool rational = fields.orientation && fields.orientationType == 5;
    const int firstEntries = (fields.orientation ? 1 : 0) + (exifDirectory ? 1 : 0);
    const int exifEntries = (fields.colourSpace ? 1 : 0) + (interop ? 1 : 0);
    const qint64 rationalAt = 8 + 2 + 12 * firstEntries + 4;
    const qint64 exifAt = rationalAt + (rational ? 8 : 0);
    const qint64 interopAt = exifAt + 2 + 12 * exifEntries + 4;

    out.put16(firstEntries);
    if (fields.orientation)
        out.entry(0x0112, fields.orientationType, rational ? rationalAt : fields.orientation);
    if (exifDirectory)
        out.entry(0x8769, 4, exifAt);
    out.put32(0);
    if (rational)
        out.put32(fields.orientation), out.put32(1);
    if (exifDirectory) {
        out.put16(exifEntries);
        if (fields.colourSpace)
            out.entry(0xA001, 3, fields.colourSpace);
        if (interop)
            out.entry(0xA005, 4, interopAt);
        out.put32(0);
    }
    if (interop) {
        // InteroperabilityIndex: ASCII, four bytes with the terminator.
        out.put16(1);
        out.put16(0x0001);
        out.put16(2);
        out.put32(4);
        out.bytes += (fields.interopIndex + QByteArray(4, '\0')).left(4);
        out.put32(0);
    }
    return QByteArray("Exif\0\0", 6) + out.bytes;
}

QByteArray jpegBytes(const QImage& image, const JpegOptions& options) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(options.quality);
    writer.setProgressiveScanWrite(options.progressive);
    if (!writer.write(image))
        return {};
    const QByteArray jpeg = buffer.data();
    QByteArray segments;
    const auto segment = [&segments](char marker, const QByteArray& body) {
        const qsizetype length = body.size() + 2;
        segments.append('\xFF').append(marker);
        segments.append(char(length >> 8)).append(char(length & 0xFF)).append(body);
    };
    if (!options.exif.isEmpty())
        segment('\xE1', options.exif);
    if (!options.iccProfile.isEmpty()) {
        const int chunk = options.iccChunkBytes;
        const int count = int((options.iccProfile.size() + chunk - 1) / chunk);
        QList<int> order = options.iccChunkOrder;
        if (order.isEmpty())
            for (int i = 1; i <= count; ++i)
                order.append(i);
        for (const int sequence : std::as_const(order))
            segment('\xE2', QByteArray("ICC_PROFILE", 12) + char(sequence) + char(count) +
                                options.iccProfile.mid(qsizetype(sequence - 1) * chunk, chunk));
    }
    return jpeg.left(2) + segments + jpeg.mid(2);
}

QByteArray bmpV5Bytes(const QImage& image, const QByteArray& profile) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const qsizetype stride = (rgb.width() * 3 + 3) & ~3;
    const qsizetype pixels = stride * rgb.height();
    QByteArray bytes(14 + 124 + pixels, '\0');
    auto* file = reinterpret_cast<uchar*>(bytes.data());
    file[0] = 'B';
    file[1] = 'M';
    qToLittleEndian(quint32(bytes.size() + profile.size()), file + 2);
    qToLittleEndian(quint32(14 + 124), file + 10);
    uchar* info = file + 14;
    qToLittleEndian(quint32(124), info);
    qToLittleEndian(qint32(rgb.width()), info + 4);
    qToLittleEndian(qint32(-rgb.height()), info + 8);
    qToLittleEndian(quint16(1), info + 12);
    qToLittleEndian(quint16(24), info + 14);
    qToLittleEndian(quint32(pixels), info + 20);
    qToLittleEndian(quint32(0x4D424544), info + 56); // "MBED"
    qToLittleEndian(quint32(124 + pixels), info + 112);
    qToLittleEndian(quint32(profile.size()), info + 116);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb colour = rgb.pixel(x, y);
            uchar* at = info + 124 + y * stride + x * 3;
            at[0] = uchar(qBlue(colour));
            at[1] = uchar(qGreen(colour));
            at[2] = uchar(qRed(colour));
        }
    return bytes + profile;
}

QByteArray greyTiffBytes(QSize size, int rowsPerStrip, const QByteArray& pixels, int compression,
                         int bitsPerSample) {
    const int strips = (size.height() + rowsPerStrip - 1) / rowsPerStrip;
    const qint64 stripBytes = (qint64(size.width()) * bitsPerSample + 7) / 8 * rowsPerStrip;
    const int entries = 8;
    const int arrays = 8 + 2 + entries * 12 + 4;
    const int data = arrays + (strips > 1 ? strips * 8 : 0);
    TiffWriter out{true, QByteArray("II*\0\x08\0\0\0", 8)};
    const auto entry = [&out](int tag, int type, int count, qint64 value) {
        out.put16(tag), out.put16(type), out.put32(count);
        type == 3 && count == 1 ? (out.put16(value), out.put16(0)) : out.put32(value);
    };
    out.put16(entries);
    entry(256, 4, 1, size.width());
    entry(257, 4, 1, size.height());
    entry(258, 3, 1, bitsPerSample);
    entry(259, 3, 1, compression);
    entry(262, 3, 1, 1);
    entry(273, 4, strips, strips == 1 ? data : arrays);
    entry(278, 4, 1, rowsPerStrip);
    entry(279, 4, strips, strips == 1 ? pixels.size() : arrays + strips * 4);
    out.put32(0);
    if (strips > 1) {
        for (int i = 0; i < strips; ++i)
            out.put32(data + qint64(i) * stripBytes);
        for (int i = 0; i < strips; ++i)
            out.put32(stripBytes);
    }
    return out.bytes + pixels;
}

QList<int> shrunkGreys(QSize source, const QImage& out,
                       const std::function<void(const QRgb*)>& addRow) {
    for (int y = 0; y < source.height(); ++y) {
        QList<QRgb> row;
        for (int x = 0; x < source.width(); ++x)
            row.append(qRgb(10 * x + 100 * y, 10 * x + 100 * y, 10 * x + 100 * y));
        addRow(row.constData());
    }
    QList<int> greys;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            greys.append(qGray(out.pixel(x, y)));
    return greys;
}

double meanDifference(const QImage& ours, const QImage& reference) {
    QImage a(ours.size(), QImage::Format_RGB32);
    a.fill(Qt::black);
    QPainter(&a).drawImage(0, 0, ours);
    const QImage b = reference.convertToFormat(QImage::Format_RGB32);
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qRed(p[x]) - qRed(q[x])) + std::abs(qGreen(p[x]) - qGreen(q[x])) +
                   std::abs(qBlue(p[x]) - qBlue(q[x]));
    }
    return double(sum) / (3.0 * a.width() * a.height());
}
