#include "FormatPictures.h"

#include "ShowPictures.h"
#include "support/PictureFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <cstdio>
#include <functional>

namespace {
constexpr int picturesOfEach = 3;
constexpr QSize phone(4000, 3000);
constexpr QSize camera(6000, 4000);

// One format: its files' stem and suffix, the source's size and format
// (what the encoder reads) and the encoder's arguments around the source
// and the output.
struct Encoding {
    const char* name;
    const char* stem;
    const char* suffix;
    QSize size;
    const char* sourceFormat;
    quint32 firstSeed;
    QString program;
    std::function<QStringList(const QString& source, const QString& output)> arguments;
};

const QList<Encoding>& encodings() {
    static const QList<Encoding> list = {
        // heif-enc's x265 at its own default quality (50) but a little
        // finer, as phones store their pictures.
        {"HEIC", "phone", "heic", phone, "png", 301, QStringLiteral("heif-enc"),
         [](const QString& source, const QString& output) {
             return QStringList{QStringLiteral("-q"), QStringLiteral("60"), QStringLiteral("-o"),
                                output, source};
         }},
        // avifenc's aom at its default speed, 4:2:0 as cameras and phones
        // write AVIF.
        {"AVIF", "phone", "avif", phone, "png", 311, QStringLiteral("avifenc"),
         [](const QString& source, const QString& output) {
             return QStringList{QStringLiteral("--jobs"),
                                QStringLiteral("2"),
                                QStringLiteral("--yuv"),
                                QStringLiteral("420"),
                                QStringLiteral("--min"),
                                QStringLiteral("20"),
                                QStringLiteral("--max"),
                                QStringLiteral("30"),
                                source,
                                output};
         }},
        {"WebP lossy", "phone", "webp", phone, "png", 321, QStringLiteral("cwebp"),
         [](const QString& source, const QString& output) {
             return QStringList{QStringLiteral("-quiet"), QStringLiteral("-q"),
                                QStringLiteral("85"),     source,
                                QStringLiteral("-o"),     output};
         }},
        // ImageMagick's own PNG settings, from a raw picture.
        {"PNG", "camera", "png", camera, "ppm", 331, convertProgram(),
         [](const QString& source, const QString& output) {
             return QStringList{source, QStringLiteral("png:") + output};
         }},
    };
    return list;
}

QString named(const QDir& dir, const Encoding& encoding, int index) {
    return dir.filePath(QStringLiteral("%1%2.%3")
                            .arg(QLatin1String(encoding.stem))
                            .arg(index + 1, 2, 10, QLatin1Char('0'))
                            .arg(QLatin1String(encoding.suffix)));
}

// Encodes one picture; the partial file keeps the suffix, since heif-enc
// picks HEIC or AVIF by it.
bool encodeOnce(const QDir& dir, const Encoding& encoding, int index, const QString& path) {
    const QString source =
        dir.filePath(QStringLiteral("source.%1").arg(QLatin1String(encoding.sourceFormat)));
    const QString partial =
        dir.filePath(QStringLiteral("partial.%1").arg(QLatin1String(encoding.suffix)));
    QFile::remove(partial);
    if (!writeImage(source, cameraLike(encoding.size, encoding.firstSeed + quint32(index)),
                    encoding.sourceFormat)) {
        std::printf("could not write %s\n", qPrintable(source));
        return false;
    }
    const QString complaint =
        encoding.program.isEmpty()
            ? toolMissing
            : runTool(encoding.program, encoding.arguments(source, partial), dir.path());
    QFile::remove(source);
    if (!complaint.isEmpty()) {
        std::printf("could not make %s with %s: %s\n", qPrintable(path),
                    qPrintable(encoding.program), qPrintable(complaint));
        return false;
    }
    return QFile::rename(partial, path);
}
} // namespace

QString formatPictureFolder(const QString& given) {
    if (!given.isEmpty())
        return given;
    return QFileInfo(showPictureFolder({})).dir().filePath(QStringLiteral("formats"));
}

FormatPictures ensureFormatPictures(const QString& folder) {
    FormatPictures pictures;
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        std::printf("cannot create %s\n", qPrintable(folder));
        return pictures;
    }
    QElapsedTimer timer;
    timer.start();
    int made = 0;
    pictures.ok = true;
    for (const Encoding& encoding : encodings()) {
        FormatSet set{QStringLiteral("%1 %2x%3")
                          .arg(QLatin1String(encoding.name))
                          .arg(encoding.size.width())
                          .arg(encoding.size.height()),
                      QStringLiteral("%1 %2 MP")
                          .arg(QString::fromLatin1(encoding.name).section(QLatin1Char(' '), 0, 0))
                          .arg(qint64(encoding.size.width()) * encoding.size.height() / 1000000),
                      {}};
        for (int i = 0; i < picturesOfEach && pictures.ok; ++i) {
            const QString path = named(dir, encoding, i);
            if (!QFileInfo::exists(path)) {
                pictures.ok = encodeOnce(dir, encoding, i, path);
                ++made;
            }
            set.files.append(path);
        }
        pictures.sets.push_back(set);
    }
    if (made > 0)
        std::printf("made %d pictures in %s in %.0f s\n", made, qPrintable(folder),
                    timer.elapsed() / 1000.0);
    return pictures;
}
