#include "support/PictureFiles.h"
#include "support/TestRegistry.h"
#include "ui/PictureView.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
QString solidPicture(const QTemporaryDir& dir, const char* name, QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.filePath(QLatin1String(name));
    return writeImage(path, image, "bmp") ? path : QString();
}
} // namespace

class PictureViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void extentIsInHimetric() {
        QTemporaryDir dir;
        PictureView view;
        QCOMPARE(view.Picture(), QSize());
        QVERIFY(view.LoadFile(solidPicture(dir, "a.bmp", QSize(96, 37), Qt::red)));
        // round(px * 2540 / 96): 37 px is 978.958...
        QCOMPARE(view.Picture(), QSize(2540, 979));
        QCOMPARE(qRound(view.Picture().height() / 26.458), 37);
    }

    void aFailedLoadKeepsThePreviousPicture() {
        QTemporaryDir dir;
        PictureView view;
        QVERIFY(view.LoadFile(solidPicture(dir, "a.bmp", QSize(40, 30), Qt::red)));
        const QImage before = view.image();
        const QString broken = dir.filePath("broken.jpg");
        QVERIFY(writeBytes(broken, "no picture"));
        QVERIFY(!view.LoadFile(broken));
        QVERIFY(!view.LoadFile(dir.filePath("missing.bmp")));
        QVERIFY(!view.LoadFile(dir.path()));
        QCOMPARE(view.pictureSize(), QSize(40, 30));
        QCOMPARE(view.Picture(), QSize(1058, 794));
        QCOMPARE(view.image(), before);
    }

    // However large the file, the view holds a copy no larger than the
    // screen, and still reports the full size.
    void keepsAtMostAScreenSizedCopy() {
        QTemporaryDir dir;
        const QSize bound = PictureView::decodeBound();
        const QSize large = bound * 3;
        const QString path = dir.filePath("large.jpg");
        QVERIFY(writeImage(path, testPattern(large), "jpeg"));
        PictureView view;
        QVERIFY(view.LoadFile(path));
        QCOMPARE(view.pictureSize(), large);
        QVERIFY(view.image().width() <= bound.width());
        QVERIFY(view.image().height() <= bound.height());
        QCOMPARE(patternMismatch(view.image(), true), QString());
    }

    // The view at place in a 200 x 100 window; drawn: where the picture
    // shows in the window. A view reaching below the window draws into the
    // part that shows.
    void drawsCentredShrunkAndNeverEnlarged_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QRect>("drawn");
        const QRect whole(0, 0, 200, 100);
        const QRect overhanging(0, 10, 200, 110);
        QTest::newRow("fits the height") << QSize(100, 100) << whole << QRect(50, 0, 100, 100);
        QTest::newRow("shrunk to the width") << QSize(800, 200) << whole << QRect(0, 25, 200, 50);
        QTest::newRow("small stays small") << QSize(40, 20) << whole << QRect(80, 40, 40, 20);
        QTest::newRow("overhanging, shrunk to what shows")
            << QSize(100, 100) << overhanging << QRect(55, 10, 90, 90);
        QTest::newRow("overhanging, centred in what shows")
            << QSize(800, 200) << overhanging << QRect(0, 30, 200, 50);
    }
    void drawsCentredShrunkAndNeverEnlarged() {
        QFETCH(QSize, picture);
        QFETCH(QRect, place);
        QFETCH(QRect, drawn);
        QTemporaryDir dir;
        QWidget window;
        window.resize(200, 100);
        auto* view = new PictureView(&window);
        view->setGeometry(place);
        view->setBackColor(Qt::blue);
        QVERIFY(view->LoadFile(solidPicture(dir, "p.bmp", picture, Qt::red)));
        const QImage shown = window.grab().toImage();
        QCOMPARE(shown.size(), QSize(200, 100));
        const auto isRed = [&](QPoint at) {
            return QColor(shown.pixel(at)) == QColor(Qt::red);
        };
        const auto isBack = [&](QPoint at) {
            return QColor(shown.pixel(at)) == QColor(Qt::blue);
        };
        QVERIFY(isRed(drawn.topLeft()));
        QVERIFY(isRed(drawn.bottomRight()));
        QVERIFY(isRed(drawn.center()));
        // Just outside the picture on each side, where the view shows.
        for (const QPoint& outside :
             {drawn.topLeft() - QPoint(1, 0), drawn.topLeft() - QPoint(0, 1),
              drawn.bottomRight() + QPoint(1, 0), drawn.bottomRight() + QPoint(0, 1)})
            if ((place & window.rect()).contains(outside))
                QVERIFY2(isBack(outside),
                         qPrintable(QStringLiteral("(%1, %2)").arg(outside.x()).arg(outside.y())));
    }

    // A PNG with alpha, through the decoder: clear pixels show the back
    // colour, half-clear ones mix with it.
    void transparentPixelsShowTheBackColour() {
        QTemporaryDir dir;
        QImage image(40, 20, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        for (int y = 0; y < 20; ++y)
            for (int x = 20; x < 40; ++x)
                image.setPixel(x, y, qRgba(255, 0, 0, 128));
        const QString path = dir.filePath("clear.png");
        QVERIFY(writeImage(path, image, "png"));
        PictureView view;
        view.resize(40, 20);
        view.setBackColor(Qt::blue);
        QVERIFY(view.LoadFile(path));
        const QImage shown = view.grab().toImage();
        QCOMPARE(QColor(shown.pixel(5, 10)), QColor(Qt::blue));
        const QColor mixed(shown.pixel(35, 10));
        QVERIFY2(std::abs(mixed.red() - 128) <= 2 && mixed.green() == 0 &&
                     std::abs(mixed.blue() - 127) <= 2,
                 qPrintable(mixed.name()));
    }

    void withoutAPictureShowsItsBackColour() {
        PictureView view;
        view.resize(50, 40);
        view.setBackColor(Qt::black);
        QCOMPARE(view.backColor(), QColor(Qt::black));
        const QImage shown = view.grab().toImage();
        QCOMPARE(QColor(shown.pixel(25, 20)), QColor(Qt::black));
    }
};
KAVELO_TEST(PictureViewTest)

#include "tst_pictureview.moc"
