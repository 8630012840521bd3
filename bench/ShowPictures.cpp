#include "ShowPictures.h"

#include "support/PictureFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <vector>

namespace {
constexpr QSize pictureSize(6000, 4000);
// A burst of 20 steps from the first picture ends on the 21st.
constexpr int jpegCount = 21;
constexpr int tiffCount = 5;
constexpr int bmpCount = 3;

bool writeOnce(const QString& path, const QString& format, quint32 seed) {
    if (QFileInfo::exists(path))
        return true;
    const QString partial = path + QStringLiteral(".partial");
    QFile::remove(partial);
    // The image writer picks the format by name, so the partial file gets it
    // spelt out.
    if (!writeImage(partial, cameraLike(pictureSize, seed), format.toLatin1(), 90, false, 1))
        return false;
    return QFile::rename(partial, path);
}

QString named(const QDir& dir, const char* stem, int index, const char* suffix) {
    return dir.filePath(QStringLiteral("%1%2.%3")
                            .arg(QLatin1String(stem))
                            .arg(index + 1, 2, 10, QLatin1Char('0'))
                            .arg(QLatin1String(suffix)));
}
} // namespace

QString showPictureFolder(const QString& given) {
    if (!given.isEmpty())
        return given;
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/kavelo-bench/show");
}

ShowPictures ensureShowPictures(const QString& folder) {
    ShowPictures set;
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        std::printf("cannot create %s\n", qPrintable(folder));
        return set;
    }
    QElapsedTimer timer;
    timer.start();
    int made = 0;
    auto make = [&](QStringList& list, const char* stem, const char* suffix, int count,
                    quint32 firstSeed) {
        for (int i = 0; i < count; ++i) {
            const QString path = named(dir, stem, i, suffix);
            made += QFileInfo::exists(path) ? 0 : 1;
            if (!writeOnce(path, QLatin1String(suffix), firstSeed + i)) {
                std::printf("could not write %s\n", qPrintable(path));
                return false;
            }
            list.append(path);
        }
        return true;
    };
    set.ok = make(set.jpegs, "photo", "jpg", jpegCount, 1) &&
             make(set.tiffs, "scan", "tif", tiffCount, 101) &&
             make(set.bmps, "frame", "bmp", bmpCount, 201);
    if (made > 0)
        std::printf("generated %d pictures in %s in %.0f s\n", made, qPrintable(folder),
                    timer.elapsed() / 1000.0);
    return set;
}
