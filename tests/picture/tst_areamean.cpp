#include "picture/raster/AreaShrinker.h"
#include "picture/raster/ScaledTapRow.h"
#include "support/TestRegistry.h"

#include <QTest>
#include <algorithm>
#include <random>

namespace {
// Where source pixel i (of side) and target pixel t (of targetSide) meet,
// in units where a source pixel is targetSide long and a target pixel side.
qint64 overlap(qint64 i, qint64 t, qint64 side, qint64 targetSide) {
    return std::max<qint64>(0, std::min((i + 1) * targetSide, (t + 1) * side) -
                                   std::max(i * targetSide, t * side));
}

struct Mean {
    QImage image;
    // Channel means of exactly an integer and a half.
    qint64 halves = 0;
};

// The exact area mean of each colour channel from integer shares, rounded
// half up: what the fixed point must give.
Mean exactMean(const QImage& source, QSize size) {
    const qint64 w = source.width(), h = source.height();
    const qint64 tw = size.width(), th = size.height();
    const qint64 units = w * h;
    Mean mean{QImage(size, QImage::Format_RGB32)};
    for (qint64 ty = 0; ty < th; ++ty) {
        auto* out = reinterpret_cast<QRgb*>(mean.image.scanLine(int(ty)));
        for (qint64 tx = 0; tx < tw; ++tx) {
            qint64 sums[3] = {};
            for (qint64 y = ty * h / th; y <= ((ty + 1) * h - 1) / th; ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(int(y)));
                const qint64 oy = overlap(y, ty, h, th);
                for (qint64 x = tx * w / tw; x <= ((tx + 1) * w - 1) / tw; ++x)
                    for (int c = 0; c < 3; ++c)
                        sums[c] += ((row[x] >> (8 * c)) & 0xFF) * oy * overlap(x, tx, w, tw);
            }
            QRgb pixel = 0xFF000000u;
            for (int c = 0; c < 3; ++c) {
                pixel |= QRgb((2 * sums[c] + units) / (2 * units)) << (8 * c);
                mean.halves += 2 * sums[c] % (2 * units) == units;
            }
            out[tx] = pixel;
        }
    }
    return mean;
}

// Colour channels the fixed point may round up past the exact mean: those
// within its bound below a half. None when the bound is below the least
// step a mean can take, 1 / (2 x units).
bool exactFor(QSize source, int targetWidth) {
    const quint64 w = quint64(source.width()), h = quint64(source.height());
    const ScaledTapRow row(targetWidth, quint64(targetWidth), w * h, h);
    return 3 * 255 * h * 2 * w * h < (quint64(1) << row.shift());
}

QImage pattern(QSize size, const QString& kind, quint32 seed) {
    std::mt19937 random(seed);
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const quint32 bits = random();
            // Channels of 0 or 1 make means of exactly a half often.
            row[x] = kind == "white"  ? 0xFFFFFFFFu
                     : kind == "bits" ? 0xFF000000u | (bits & 0x010101u)
                                      : 0xFF000000u | bits;
        }
    }
    return image;
}

// The largest channel difference and the mean one, over b, g and r.
std::pair<int, double> difference(const QImage& a, const QImage& b) {
    int most = 0;
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            for (int c = 0; c < 24; c += 8) {
                const int d = std::abs(int((p[x] >> c) & 0xFF) - int((q[x] >> c) & 0xFF));
                most = std::max(most, d);
                sum += d;
            }
    }
    return {most, double(sum) / (3.0 * a.width() * a.height())};
}
} // namespace

// The opaque rows' fast path, the mean folded into 32-bit weights, against
// the exact mean: equal wherever its error bound allows, within a level
// elsewhere (only means a hair below a half can round up).
class AreaMeanTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opaqueRowsAreTheRoundedMean_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QString>("kind");
        // A camera picture decoded at 5/8 for a 4K screen.
        QTest::newRow("3750x2500 to 3201x2134")
            << QSize(3750, 2500) << QSize(3201, 2134) << "noise";
        QTest::newRow("white, no clamp") << QSize(3750, 300) << QSize(3201, 257) << "white";
        QTest::newRow("101 to 100") << QSize(101, 67) << QSize(100, 50) << "noise";
        QTest::newRow("7 to 4") << QSize(7, 5) << QSize(4, 3) << "noise";
        QTest::newRow("3 to 2") << QSize(3, 9) << QSize(2, 4) << "noise";
        QTest::newRow("1 pixel wide") << QSize(1, 300) << QSize(1, 7) << "noise";
        QTest::newRow("tall and narrow") << QSize(5, 3000) << QSize(3, 1001) << "noise";
        QTest::newRow("not shrunk") << QSize(9, 4) << QSize(9, 4) << "noise";
        QTest::newRow("halves, two rows to one") << QSize(2, 2) << QSize(2, 1) << "bits";
        QTest::newRow("halves, odd widths") << QSize(47, 30) << QSize(25, 15) << "bits";
    }
    void opaqueRowsAreTheRoundedMean() {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QFETCH(QString, kind);
        const QImage picture = pattern(source, kind, 11);
        const Mean exact = exactMean(picture, target);
        const QImage ours = AreaShrinker::shrunk(picture, target);
        QCOMPARE(ours.format(), QImage::Format_RGB32);
        if (kind == "bits")
            QVERIFY(exact.halves > 0);
        const auto [most, mean] = difference(ours, exact.image);
        if (exactFor(source, target.width()))
            QCOMPARE(ours, exact.image);
        QVERIFY2(most <= 1 && mean < 1e-5,
                 qPrintable(QStringLiteral("largest %1, mean %2").arg(most).arg(mean)));
        if (kind == "white")
            QCOMPARE(ours.pixel(target.width() - 1, target.height() - 1), 0xFFFFFFFFu);
    }

    // The AVX2 and SSE2 rows alike, to the last column of widths that leave
    // a part of their four or two pixels a step, and nothing written past
    // the row; column sums of random size up to their largest.
    void widestSimdMatchesTheBaseline_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("targetWidth");
        QTest::addColumn<int>("height");
        QTest::newRow("1 to 1") << 1 << 1 << 1000;
        QTest::newRow("3 to 2") << 3 << 2 << 7;
        QTest::newRow("5 to 3") << 5 << 3 << 2500;
        QTest::newRow("7 to 4") << 7 << 4 << 2500;
        QTest::newRow("9 to 5") << 9 << 5 << 5000;
        QTest::newRow("13 to 7") << 13 << 7 << 300;
        QTest::newRow("17 to 9") << 17 << 9 << 40000;
        QTest::newRow("3750 to 3201") << 3750 << 3201 << 2500;
        QTest::newRow("tallest") << 11 << 6 << (1 << 24);
    }
    void widestSimdMatchesTheBaseline() {
        QFETCH(int, width);
        QFETCH(int, targetWidth);
        QFETCH(int, height);
        const quint64 w = quint64(width), tw = quint64(targetWidth), h = quint64(height);
        ScaledTapRow widest(targetWidth, tw, w * h, h);
        ScaledTapRow baseline(targetWidth, tw, w * h, h, ScaledTapRow::Simd::Baseline);
        QVERIFY(widest.isValid());
        QCOMPARE(baseline.shift(), widest.shift());
        std::vector<quint32> weights(3 * tw);
        std::vector<int> firsts(tw);
        for (quint64 c = 0; c < tw; ++c) {
            const quint64 first = c * w / tw;
            firsts[c] = int(first);
            for (quint64 i = 0; i < 3; ++i)
                weights[3 * c + i] = quint32(
                    first + i < w ? overlap(qint64(first + i), qint64(c), qint64(w), qint64(tw))
                                  : 0);
            widest.setTap(int(c), firsts[c], &weights[3 * c]);
            baseline.setTap(int(c), firsts[c], &weights[3 * c]);
        }
        std::mt19937 random(5);
        // Two columns beyond the last, as the shrinker keeps them.
        std::vector<quint32> sums((w + 2) * 4);
        for (quint32& sum : sums)
            sum = random() % 4 == 0 ? quint32(255 * h) : quint32(random() % (255 * h + 1));
        std::vector<QRgb> fast(tw + 1, 0x12345678u);
        std::vector<QRgb> base(tw + 1, 0x12345678u);
        widest.write(sums.data(), fast.data());
        baseline.write(sums.data(), base.data());
        QCOMPARE(fast, base);
        QCOMPARE(fast.back(), 0x12345678u);
        // And each the rounded mean of its taps.
        const quint64 units = w * h;
        const bool exact = 3 * 255 * h * 2 * units < (quint64(1) << widest.shift());
        for (quint64 c = 0; c < tw; ++c)
            for (int k = 0; k < 3; ++k) {
                quint64 sum = 0;
                for (int i = 0; i < 3; ++i)
                    sum += quint64(sums[4 * (firsts[c] + i) + k]) * weights[3 * c + i];
                const int expected = int((2 * sum + units) / (2 * units));
                const int got = int((fast[c] >> (8 * k)) & 0xFF);
                QVERIFY2(exact ? got == expected : std::abs(got - expected) <= 1,
                         qPrintable(
                             QStringLiteral("column %1: %2 for %3").arg(c).arg(got).arg(expected)));
            }
    }
};
KAVELO_TEST(AreaMeanTest)

#include "tst_areamean.moc"
