#include "picture/PictureDecoder.h"
#include "picture/raster/AreaShrinker.h"
#include "picture/raster/BoxShrinker.h"
#include "picture/raster/LargeImage.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

// Pictures decoded straight to the size they are drawn at, shrunk by the
// share of each source pixel a target pixel covers.
class DrawnSizeTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private Q_SLOTS:
    void shrinkingAveragesByTheCoveredShare_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QList<int>>("greys");
        QTest::addColumn<bool>("box");
        // Source pixel (x, y) has grey 10 * x + 100 * y. The area shrinker
        // (JPEG rows, and whole pictures the loader shrinks) counts a source
        // pixel split between two target pixels by the share each covers.
        // The box rows: the box shrinker (TIFF and BMP rows) counts each
        // source pixel whole in the one target pixel it falls in (five
        // columns into two: x * 2 / 5), so an uneven split gives the first
        // target pixel the extra source: three columns and two, two rows
        // and one.
        QTest::newRow("halved") << QSize(4, 2) << QSize(2, 1) << QList<int>{55, 75} << false;
        QTest::newRow("columns split in halves")
            << QSize(5, 1) << QSize(2, 1) << QList<int>{8, 32} << false;
        QTest::newRow("rows split in halves")
            << QSize(1, 3) << QSize(1, 2) << QList<int>{33, 167} << false;
        QTest::newRow("a fifth off")
            << QSize(5, 1) << QSize(4, 1) << QList<int>{2, 14, 26, 38} << false;
        QTest::newRow("kept") << QSize(2, 2) << QSize(2, 2) << QList<int>{0, 10, 100, 110} << false;
        QTest::newRow("box: halved") << QSize(4, 2) << QSize(2, 1) << QList<int>{55, 75} << true;
        QTest::newRow("box: uneven columns")
            << QSize(5, 1) << QSize(2, 1) << QList<int>{10, 35} << true;
        QTest::newRow("box: uneven rows")
            << QSize(1, 3) << QSize(1, 2) << QList<int>{50, 200} << true;
        QTest::newRow("box: kept")
            << QSize(2, 2) << QSize(2, 2) << QList<int>{0, 10, 100, 110} << true;
    }
    void shrinkingAveragesByTheCoveredShare() {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QFETCH(QList<int>, greys);
        QFETCH(bool, box);
        QImage out = largeImage(target, QImage::Format_RGB32);
        if (box) {
            BoxShrinker shrinker(source, out);
            QCOMPARE(shrunkGreys(source, out, [&](const QRgb* row) { shrinker.addRow(row); }),
                     greys);
            QVERIFY(shrinker.isComplete());
            return;
        }
        AreaShrinker shrinker(source, out);
        QCOMPARE(shrunkGreys(source, out, [&](const QRgb* row) { shrinker.addRow(row); }), greys);
        QVERIFY(shrinker.isComplete());
        // The pixels outlive the image they were written through.
        const QImage copy = out;
        out = QImage();
        QCOMPARE(qGray(copy.pixel(0, 0)), greys.first());
    }

    void decodesAtTheDrawnSizeWithinTheBound_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("drawn");
        QTest::addColumn<QSize>("decoded");
        // The pictures are 600 x 400, the bound 300 x 300.
        for (const QByteArray format : {"jpeg", "bmp", "tiff"}) {
            QTest::addRow("%s smaller than the bound", format.constData())
                << format << QSize(150, 100) << QSize(150, 100);
            QTest::addRow("%s larger than the bound", format.constData())
                << format << QSize(600, 400) << QSize(300, 200);
        }
        QTest::newRow("none") << QByteArray("jpeg") << QSize() << QSize(300, 200);
    }
    void decodesAtTheDrawnSizeWithinTheBound() {
        QFETCH(QByteArray, format);
        QFETCH(QSize, drawn);
        QFETCH(QSize, decoded);
        QImage flat(600, 400, QImage::Format_RGB32);
        flat.fill(qRgb(200, 100, 50));
        const QString path = dir.filePath(QStringLiteral("flat.") + format);
        QVERIFY(writeImage(path, flat, format));
        PictureDecoder decoder(QSize(300, 300));
        decoder.setDrawSize(
            [drawn](QSize full) { return full == QSize(600, 400) ? drawn : QSize(); });
        const std::optional<DecodedPicture> picture = decoder.decode(path);
        QVERIFY(picture);
        QCOMPARE(picture->image.size(), decoded);
        QCOMPARE(picture->fullSize, QSize(600, 400));
        // Every channel where it belongs, through the shrink.
        const QColor centre = picture->image.pixelColor(decoded.width() / 2, decoded.height() / 2);
        QVERIFY2(qAbs(centre.red() - 200) <= 3 && qAbs(centre.green() - 100) <= 3 &&
                     qAbs(centre.blue() - 50) <= 3,
                 qPrintable(centre.name()));
    }
};
KAVELO_TEST(DrawnSizeTest)

#include "tst_drawnsize.moc"
