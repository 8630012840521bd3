#include "player/SlideFit.h"
#include "support/TestRegistry.h"
#include "ui/Units.h"

#include <QTest>

class SlideFitTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layout_data() {
        QTest::addColumn<int>("pictureWidth");
        QTest::addColumn<int>("pictureHeight");
        QTest::addColumn<float>("windowWidth");
        QTest::addColumn<float>("windowHeight");
        QTest::addColumn<bool>("fill");
        QTest::addColumn<float>("width");
        QTest::addColumn<float>("height");
        QTest::addColumn<float>("left");
        QTest::addColumn<float>("top");
        QTest::addColumn<int>("pixelWidth");
        QTest::addColumn<int>("pixelHeight");

        // The worked example: a 15000 x 11000 twip window.
        QTest::newRow("400x300 centred on half twips")
            << 10583 << 7937 << 15000.f << 11000.f << false << 10583.f << 7937.f << 2258.5f
            << 1581.5f << 400 << 300;
        QTest::newRow("exactly the window size is centred")
            << 15000 << 11000 << 15000.f << 11000.f << false << 15000.f << 11000.f << 50.f << 50.f
            << 567 << 416;
        QTest::newRow("one too wide fills both ways")
            << 15001 << 5000 << 15000.f << 11000.f << true << 15000.f << 10900.f << 0.f << 100.f
            << 567 << 189;
        QTest::newRow("larger both ways fills") << 21167 << 15875 << 15000.f << 11000.f << true
                                                << 15000.f << 10900.f << 0.f << 100.f << 800 << 600;
        QTest::newRow("higher only fills") << 100 << 11001 << 15000.f << 11000.f << true << 15000.f
                                           << 10900.f << 0.f << 100.f << 4 << 416;

        // The window size is compared as whole twips, halves to even. The
        // fill layout keeps the size as read, fractions and all.
        QTest::newRow("width .5 rounds down to even, picture too wide")
            << 15001 << 5000 << 15000.5f << 11000.f << true << 15000.5f << 10900.f << 0.f << 100.f
            << 567 << 189;
        QTest::newRow("width .5 rounds up to even, picture fits")
            << 15002 << 5000 << 15001.5f << 11000.f << false << 15002.f << 5000.f << 49.75f
            << 3050.f << 567 << 189;
        QTest::newRow("height .5 rounds up to even, picture fits")
            << 5000 << 11000 << 15000.f << 10999.5f << false << 5000.f << 11000.f << 5050.f
            << 49.75f << 189 << 416;
        QTest::newRow("height .5 rounds down to even, picture too high")
            << 5000 << 11001 << 15000.f << 11000.5f << true << 15000.f << 10900.5f << 0.f << 100.f
            << 189 << 416;

        // Pixel sizes from HIMETRIC: 26.458 per pixel, nearest whole number.
        QTest::newRow("one pixel") << 26 << 27 << 15000.f << 11000.f << false << 26.f << 27.f
                                   << 7537.f << 5536.5f << 1 << 1;
        QTest::newRow("below half a pixel") << 13 << 14 << 15000.f << 11000.f << false << 13.f
                                            << 14.f << 7543.5f << 5543.f << 0 << 1;
    }
    void layout() {
        QFETCH(int, pictureWidth);
        QFETCH(int, pictureHeight);
        QFETCH(float, windowWidth);
        QFETCH(float, windowHeight);
        const SlideLayout layout = fitSlide(pictureWidth, pictureHeight, windowWidth, windowHeight);
        QTEST(layout.fill, "fill");
        // Exact comparisons: every expected value is representable.
        QTEST(layout.width, "width");
        QTEST(layout.height, "height");
        QTEST(layout.left, "left");
        QTEST(layout.top, "top");
        QFETCH(int, pixelWidth);
        QFETCH(int, pixelHeight);
        QCOMPARE(layout.pixelWidth, long(pixelWidth));
        QCOMPARE(layout.pixelHeight, long(pixelHeight));
    }

    // A maximized window of 1920 x 1099 outside and 1920 x 1061 inside, a
    // title bar of 38 rows: the control, placed from the outer size, reaches
    // below the client area, so a large picture is drawn shrunk into the
    // part of the control that shows and centred there; a small one, wholly
    // inside, at its own size. The device size is that drawn size at the
    // screen's scale.
    void placement_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QRect>("control");
        QTest::addColumn<QRect>("drawn");
        QTest::addColumn<QSize>("deviceSize");
        QTest::newRow("camera photo, drawn within what shows")
            << QSize(6000, 4000) << 1.0 << QRect(0, 7, 1920, 1092) << QRect(169, 0, 1581, 1054)
            << QSize(1581, 1054);
        QTest::newRow("at scale 2") << QSize(6000, 4000) << 2.0 << QRect(0, 7, 1920, 1092)
                                    << QRect(169, 0, 1581, 1054) << QSize(3162, 2108);
        QTest::newRow("small picture, wholly inside, at its own size")
            << QSize(400, 300) << 1.0 << QRect(611, 288, 705, 529) << QRect(152, 114, 400, 300)
            << QSize(400, 300);
    }
    void placement() {
        QFETCH(QSize, picture);
        QFETCH(qreal, ratio);
        QFETCH(QRect, control);
        QFETCH(QRect, drawn);
        QFETCH(QSize, deviceSize);
        const SlidePlacement placement =
            placeSlide(picture, QSize(1920, 1099), QSize(1920, 1061), ratio);
        QCOMPARE(placement.control, control);
        QCOMPARE(placement.picture, drawn);
        QCOMPARE(placement.deviceSize, deviceSize);
    }

    // The component reports HIMETRIC as round(pixels x 2540 / 96); the
    // caption's division by 26.458 must give the pixels back, also beyond
    // the 16 bits the size once had to fit. (26.458 is a little short of
    // 2540 / 96, so from about 40,000 pixels on the caption is one high.)
    void pixelSizeRoundTrips_data() {
        QTest::addColumn<int>("pixels");
        for (int pixels : {1, 2, 3, 7, 96, 400, 599, 1920, 4000, 6000, 32767, 32768, 38000, 40000})
            QTest::addRow("%d", pixels) << pixels;
    }
    void pixelSizeRoundTrips() {
        QFETCH(int, pixels);
        const long himetric = pixelsToHimetric(pixels);
        const SlideLayout layout = fitSlide(himetric, himetric, 1e9f, 1e9f);
        QCOMPARE(layout.pixelWidth, long(pixels));
        QCOMPARE(layout.pixelHeight, long(pixels));
    }
};
KAVELO_TEST(SlideFitTest)

#include "tst_slidefit.moc"
