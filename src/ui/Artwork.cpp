#include "ui/Artwork.h"

#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QString>

QString doubleSizeVariant(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.isEmpty())
        return path + QStringLiteral("@2x");
    const qsizetype dot = path.size() - suffix.size() - 1;
    return path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

QPixmap loadArtwork(const QString& path, qreal devicePixelRatio) {
    if (devicePixelRatio > 1.0) {
        const QString variant = doubleSizeVariant(path);
        if (QFile::exists(variant)) {
            QPixmap sharp(variant);
            if (!sharp.isNull()) {
                sharp.setDevicePixelRatio(2.0);
                return sharp;
            }
        }
    }
    return QPixmap(path);
}
