#include "support/FormatPictures.h"

#include "support/PictureFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTest>
#include <QTransform>
#include <QWidget>

namespace {
// The encoder's command line for format, reading source.png (or
// source.jpg) and writing made.out in the folder.
QStringList encoderCommand(const QString& format) {
    if (format == QLatin1String("gif"))
        return {"convert", "source.png", "GIF:made.out"};
    if (format == QLatin1String("webp"))
        return {"cwebp", "-quiet", "-lossless", "source.png", "-o", "made.out"};
    if (format == QLatin1String("heic"))
        return {"heif-enc", "-q", "90", "source.png", "-o", "made.out"};
    if (format == QLatin1String("avif"))
        return {"avifenc", "-s", "8", "source.png", "made.out"};
    if (format == QLatin1String("avif turned"))
        return {"avifenc", "-s", "8", "--irot", "1", "source.png", "made.out"};
    if (format == QLatin1String("avif 10-bit mirrored"))
        return {"avifenc", "-s", "8", "-d", "10", "--imir", "1", "source.png", "made.out"};
    if (format == QLatin1String("jxl"))
        return {"cjxl", "-d", "0", "source.png", "made.out"};
    if (format == QLatin1String("jxl turned"))
        return {"cjxl", "source.jpg", "made.out"};
    return {};
}
} // namespace

QString writeInFormat(const QDir& folder, const QString& name, const QString& format,
                      const QImage& image) {
    const QString path = folder.filePath(name);
    if (format == QLatin1String("png"))
        return image.save(path, "png") ? QString() : QStringLiteral("Qt cannot write ") + path;
    const QStringList command = encoderCommand(format);
    if (command.isEmpty())
        return QStringLiteral("no encoder for ") + format;
    if (format == QLatin1String("jxl turned")) {
        QImageWriter turned(folder.filePath(QStringLiteral("source.jpg")), "jpeg");
        turned.setQuality(95);
        turned.setTransformation(QImageIOHandler::TransformationRotate90);
        if (!turned.write(image.transformed(QTransform().rotate(-90))))
            return turned.errorString();
    } else {
        // irot 1 turns a quarter anticlockwise for display, imir 1 swaps
        // left and right; 16 bits a sample make the AVIF 10.
        const QImage stored =
            format == QLatin1String("avif turned") ? image.transformed(QTransform().rotate(90))
            : format == QLatin1String("avif 10-bit mirrored")
                ? image.mirrored(true, false).convertToFormat(QImage::Format_RGBX64)
                : image;
        if (!stored.save(folder.filePath(QStringLiteral("source.png")), "png"))
            return QStringLiteral("Qt cannot write the encoder's source");
    }
    const QString outcome = runTool(command.first(), command.mid(1), folder.path());
    // Gone before a test lists the folder.
    QFile::remove(folder.filePath(QStringLiteral("source.png")));
    QFile::remove(folder.filePath(QStringLiteral("source.jpg")));
    if (!outcome.isEmpty())
        return outcome;
    QFile::remove(path);
    if (!QFile::rename(folder.filePath(QStringLiteral("made.out")), path))
        return QStringLiteral("cannot name the picture ") + path;
    return {};
}

void addFormatRows() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("size");
    const auto row = [](const char* tag, const char* name, const char* format, QSize size) {
        QTest::newRow(tag) << QString::fromLatin1(name) << QString::fromLatin1(format) << size;
    };
    row("png", "drawing.png", "png", {75, 50});
    row("gif", "ANIM.GIF", "gif", {80, 60});
    row("webp", "photo.webp", "webp", {96, 64});
    row("heic", "IMG_0001.HEIC", "heic", {96, 64});
    row("heif", "burst.heif", "heic", {64, 96});
    row("hif", "DSCF0001.HIF", "heic", {96, 64});
    row("avif", "photo.AVIF", "avif", {96, 64});
    row("avif turned by irot", "turned.avif", "avif turned", {96, 64});
    row("avif 10-bit mirrored", "mirror.avif", "avif 10-bit mirrored", {96, 64});
    row("jxl", "picture.jxl", "jxl", {96, 64});
    row("jxl turned by its orientation", "SCAN.JXL", "jxl turned", {96, 64});
}

QImage shownPattern(QWidget& widget) {
    const QImage screen = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (screen.isNull())
        return {};
    const QRgb back = screen.pixel(0, 0);
    const auto differs = [back](QRgb p) {
        return qAbs(qRed(p) - qRed(back)) > 8 || qAbs(qGreen(p) - qGreen(back)) > 8 ||
               qAbs(qBlue(p) - qBlue(back)) > 8;
    };
    QRect picture;
    for (int y = 0; y < screen.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x)
            if (differs(line[x]))
                picture |= QRect(x, y, 1, 1);
    }
    return screen.copy(picture);
}
