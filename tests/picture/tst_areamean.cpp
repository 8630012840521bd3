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
} // namespace

// The opaque rows' fast path, the mean folded into 32-bit weights: the
// shrinker's own tables check it against the exact area average of whole
// pictures (DrawnSizeTest); here its rounding, and its SIMD widths.
class AreaMeanTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The AVX2 and SSE2 rows alike, to the last column of widths that leave
    // a part of their four or two pixels a step, and nothing written past
    // the row; column sums of random size up to their largest, all at their
    // largest (white must not pass 255), or means of exactly a half (which
    // round up).
    void widestSimdMatchesTheBaseline_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("targetWidth");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("sums");
        QTest::newRow("1 to 1") << 1 << 1 << 1000 << "random";
        QTest::newRow("1 to 1, halves") << 1 << 1 << 1000 << "halves";
        QTest::newRow("3 to 2") << 3 << 2 << 7 << "random";
        QTest::newRow("5 to 3") << 5 << 3 << 2500 << "random";
        QTest::newRow("7 to 4") << 7 << 4 << 2500 << "random";
        QTest::newRow("9 to 5") << 9 << 5 << 5000 << "random";
        QTest::newRow("13 to 7") << 13 << 7 << 300 << "random";
        QTest::newRow("17 to 9") << 17 << 9 << 40000 << "random";
        QTest::newRow("3750 to 3201") << 3750 << 3201 << 2500 << "random";
        QTest::newRow("3750 to 3201, white") << 3750 << 3201 << 2500 << "white";
        QTest::newRow("tallest") << 11 << 6 << (1 << 24) << "random";
    }
    void widestSimdMatchesTheBaseline() {
        QFETCH(int, width);
        QFETCH(int, targetWidth);
        QFETCH(int, height);
        QFETCH(QString, sums);
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
        std::vector<quint32> columns((w + 2) * 4);
        for (quint32& sum : columns) {
            if (sums == "white")
                sum = quint32(255 * h);
            else if (sums == "halves") // one column of weight 1 in h units
                sum = quint32(random() % 255 * h + h / 2);
            else
                sum = random() % 4 == 0 ? quint32(255 * h) : quint32(random() % (255 * h + 1));
        }
        std::vector<QRgb> fast(tw + 1, 0x12345678u);
        std::vector<QRgb> base(tw + 1, 0x12345678u);
        widest.write(columns.data(), fast.data());
        baseline.write(columns.data(), base.data());
        QCOMPARE(fast, base);
        QCOMPARE(fast.back(), 0x12345678u);
        // And each the rounded mean of its taps.
        const quint64 units = w * h;
        const bool exact = 3 * 255 * h * 2 * units < (quint64(1) << widest.shift());
        for (quint64 c = 0; c < tw; ++c)
            for (int k = 0; k < 3; ++k) {
                quint64 sum = 0;
                for (int i = 0; i < 3; ++i)
                    sum += quint64(columns[4 * (firsts[c] + i) + k]) * weights[3 * c + i];
                const int expected = int((2 * sum + units) / (2 * units));
                const int got = int((fast[c] >> (8 * k)) & 0xFF);
                QVERIFY2(exact ? got == expected : std::abs(got - expected) <= 1,
                         qPrintable(
                             QStringLiteral("column %1: %2 for %3").arg(c).arg(got).arg(expected)));
            }
    }

    // The whole opaque shrink, columns' sums included, alike in the widest
    // SIMD and the baseline: widths whose rows end inside a step of either,
    // and heights whose source rows fall across target rows (a target row's
    // first row is written over the last one's sums, the others added).
    void wholeShrinkAlikeInEveryWidth_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::newRow("1 x 5 to 1 x 3") << QSize(1, 5) << QSize(1, 3);
        QTest::newRow("5 x 3 to 3 x 2") << QSize(5, 3) << QSize(3, 2);
        QTest::newRow("13 x 9 to 7 x 5") << QSize(13, 9) << QSize(7, 5);
        QTest::newRow("same size") << QSize(6, 4) << QSize(6, 4);
        QTest::newRow("3750 x 37 to 3201 x 31") << QSize(3750, 37) << QSize(3201, 31);
    }
    void wholeShrinkAlikeInEveryWidth() {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        std::mt19937 random(7);
        std::vector<QRgb> pixels(size_t(source.width()) * size_t(source.height()));
        for (QRgb& pixel : pixels)
            pixel = 0xFF000000u | (random() & 0xFFFFFF);
        const auto shrunk = [&](ScaledTapRow::Simd simd) {
            QImage out(target, QImage::Format_RGB32);
            AreaShrinker shrinker(source, out, AreaShrinker::RowOrder::TopDown, simd);
            for (int y = 0; y < source.height(); ++y)
                shrinker.addRow(pixels.data() + size_t(y) * size_t(source.width()));
            return shrinker.isComplete() ? out : QImage();
        };
        const QImage widest = shrunk(ScaledTapRow::Simd::Widest);
        QVERIFY(!widest.isNull());
        QCOMPARE(widest, shrunk(ScaledTapRow::Simd::Baseline));
    }
};
KAVELO_TEST(AreaMeanTest)

#include "tst_areamean.moc"
