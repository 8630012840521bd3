#include "player/TestPictures.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QImage>

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

QString playerCaption(const QString& path, const char* size, const char* direction) {
    return path + QLatin1Char(' ') + QLatin1String(size) + QLatin1Char(' ') +
           QLatin1String(direction);
}
