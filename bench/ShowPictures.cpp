#include "ShowPictures.h"

#include "BenchSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QtMath>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {
constexpr QSize pictureSize(6000, 4000);
constexpr int jpegCount = 20;
constexpr int tiffCount = 5;
constexpr int bmpCount = 3;

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

bool writeOnce(const QString& path, const QString& format, quint32 seed) {
    if (QFileInfo::exists(path))
        return true;
    const QString partial = path + QStringLiteral(".partial");
    QFile::remove(partial);
    // The image writer picks the format by name, so the partial file gets it
    // spelt out.
    if (!writePicture(cameraLike(pictureSize, seed), partial, format.toLatin1()))
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
