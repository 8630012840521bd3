#include "files/FileSystem.h"

#include <QFileInfo>

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
    return extension == QLatin1String("jpg") || extension == QLatin1String("bmp") ||
           extension == QLatin1String("tif");
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
