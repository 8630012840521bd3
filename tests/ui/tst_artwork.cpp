#include "support/TestRegistry.h"
#include "ui/Artwork.h"

#include <QPixmap>
#include <QTest>

class ArtworkTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void variantNames_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("variant");
        QTest::newRow("resource") << ":/kavelo/images/banner.jpg"
                                  << ":/kavelo/images/banner@2x.jpg";
        QTest::newRow("dotted folder") << "/a.b/pic.tar.png"
                                       << "/a.b/pic.tar@2x.png";
        QTest::newRow("no suffix") << "/a.b/pic"
                                   << "/a.b/pic@2x";
    }
    void variantNames() {
        QFETCH(QString, path);
        QFETCH(QString, variant);
        QCOMPARE(doubleSizeVariant(path), variant);
    }

    // Every picture the windows show has a variant of exactly twice its
    // size, and on a HiDPI screen that variant covers the same logical size.
    void everyPictureHasASharpVariant_data() {
        QTest::addColumn<QString>("path");
        for (const char* name :
             {"images/banner.jpg", "images/small.bmp", "icons/kavelo.png", "icons/load.png",
              "icons/save.png", "icons/selectall.png", "icons/remove.png", "icons/slideshow.png"})
            QTest::newRow(name) << QStringLiteral(":/kavelo/") + QLatin1String(name);
    }
    void everyPictureHasASharpVariant() {
        QFETCH(QString, path);
        const QPixmap plain = loadArtwork(path, 1.0);
        const QPixmap sharp = loadArtwork(path, 2.0);
        QVERIFY(!plain.isNull());
        QCOMPARE(plain.devicePixelRatio(), 1.0);
        QCOMPARE(sharp.size(), plain.size() * 2);
        QCOMPARE(sharp.deviceIndependentSize(), QSizeF(plain.size()));
    }

    void withoutAVariantTheOnlyPictureServes() {
        const QPixmap picture = loadArtwork(QStringLiteral(":/kavelo/icons/kavelo16.png"), 2.0);
        QCOMPARE(picture.size(), QSize(16, 16));
        QCOMPARE(picture.devicePixelRatio(), 1.0);
    }
};
KAVELO_TEST(ArtworkTest)

#include "tst_artwork.moc"
