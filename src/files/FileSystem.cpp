#include "files/FileSystem.h"

#include <QFileInfo>

#include <algorithm>
#include <iterator>

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QString GetExtensionName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString();
    return name.mid(dot + 1);
}

bool isSupportedPictureExtension(const QString& extension) {
    static const QLatin1String extensions[] = {
        QLatin1String("jpg"), QLatin1String("jpeg"), QLatin1String("jpe"),  QLatin1String("bmp"),
        QLatin1String("dib"), QLatin1String("tif"),  QLatin1String("tiff"), QLatin1String("png"),
        QLatin1String("gif"), QLatin1String("webp"), QLatin1String("heic"), QLatin1String("heif"),
        QLatin1String("hif"), QLatin1String("avif"), QLatin1String("jxl"),
    };
    return std::any_of(std::begin(extensions), std::end(extensions),
                       [&extension](QLatin1String known) {
                           return extension.compare(known, Qt::CaseInsensitive) == 0;
                       });
}

bool isPictureName(const QString& path) {
    return isSupportedPictureExtension(GetExtensionName(path));
}

bool canShowSlide(const QString& path) {
    return FileExists(path) && isPictureName(path);
}

QString picturePath(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}
