#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "support/ExplorerFixture.h"
#include "support/FormatPictures.h"
#include "support/PictureFiles.h"
#include "support/PlayerFixture.h"
#include "support/TestRegistry.h"
#include "ui/FileListBox.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

namespace {
const QString cannotOpen = QStringLiteral("Format Not supported. Unable to open picture file.");
} // namespace

class PreviewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void clickingAPictureShowsIt_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::newRow("jpg") << "photo.jpg" << QByteArray("jpeg") << QSize(120, 80);
        QTest::newRow("bmp") << "scan.bmp" << QByteArray("bmp") << QSize(90, 60);
        QTest::newRow("tif") << "page.tif" << QByteArray("tiff") << QSize(70, 100);
        QTest::newRow("several dots") << "holiday.tar.jpg" << QByteArray("jpeg") << QSize(64, 48);
        QTest::newRow("camera name") << "DSC_0001.JPG" << QByteArray("jpeg") << QSize(60, 40);
        QTest::newRow("mixed case") << "Mixed.Jpg" << QByteArray("jpeg") << QSize(40, 60);
        QTest::newRow("jpeg") << "long.jpeg" << QByteArray("jpeg") << QSize(30, 30);
        QTest::newRow("TIFF") << "scan.TIFF" << QByteArray("tiff") << QSize(44, 33);
        QTest::newRow("jpeg content with a bmp name")
            << "odd.bmp" << QByteArray("jpeg") << QSize(50, 50);
    }
    void clickingAPictureShowsIt() {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        ExplorerFixture explorer;
        QVERIFY(writeImage(explorer.path(name), testPattern(size), format));
        explorer.browse();
        QVERIFY(explorer.click(name));
        QCOMPARE(explorer.window.PictureOpened, explorer.path(name));
        QCOMPARE(explorer.window.PVPicture->pictureSize(), size);
        QCOMPARE(patternMismatch(explorer.window.PVPicture->image(), true), QString());
        QVERIFY(explorer.messages().isEmpty());
        QVERIFY(!QApplication::overrideCursor());
    }

    // PNG, GIF, WebP, HEIF, AVIF and JPEG XL from their own encoders, each
    // shown as a JPEG is, upright, through the program's sandboxed decode
    // helpers: a format the decoder or the helper's filter does not take
    // fails its row with the message.
    void everyFormatShows_data() { addFormatRows(); }
    void everyFormatShows() {
        QFETCH(QString, name);
        QFETCH(QString, format);
        QFETCH(QSize, size);
        ExplorerFixture explorer;
        const QString made =
            writeInFormat(QDir(explorer.files.path()), name, format, testPattern(size));
        if (made == toolMissing)
            QSKIP("the format's encoder is not installed");
        QVERIFY2(made.isEmpty(), qPrintable(made));
        const SandboxedDecodes helpers;
        explorer.browse();
        explorer.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&explorer.window));
        QVERIFY(explorer.click(name));
        QCOMPARE(explorer.messages().size(), 0);
        QCOMPARE(explorer.window.PictureOpened, explorer.path(name));
        PictureView& preview = *explorer.window.PVPicture;
        QCOMPARE(preview.pictureSize(), size);
        QCOMPARE(preview.accessibleDescription(), explorer.path(name));
        QCOMPARE(patternMismatch(preview.image(), true), QString());
        const QImage shown = shownPattern(preview);
        QCOMPARE(patternMismatch(shown, true), QString());
        // Fitted by its aspect: a turn or a lost orientation shows here.
        QVERIFY2(qAbs(shown.width() * size.height() - shown.height() * size.width()) <=
                     shown.width() + shown.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height())));
        QVERIFY(helpers.used());
        QVERIFY(!QApplication::overrideCursor());
    }

    // A picture in a wide colour space shows in its true colours, and the
    // same in the preview and in the player.
    void profiledColoursAreTheSameInPreviewAndPlayer() {
        ExplorerFixture explorer;
        const QString path = explorer.path("prophoto.jpg");
        const QRgb red = qRgb(200, 40, 40);
        QVERIFY(writeImage(path, flatInColourSpace(red, QColorSpace::ProPhotoRgb), "jpeg", 95));
        explorer.browse();
        QVERIFY(explorer.click("prophoto.jpg"));
        const QImage preview = explorer.window.PVPicture->image();
        const QRgb shown = preview.pixel(preview.width() / 2, preview.height() / 2);
        QVERIFY2(qAbs(qRed(shown) - qRed(red)) <= 3 && qAbs(qGreen(shown) - qGreen(red)) <= 3 &&
                     qAbs(qBlue(shown) - qBlue(red)) <= 3,
                 qPrintable(QColor(shown).name()));

        explorer.window.slideList().append(path);
        explorer.window.SlideShow_Click();
        frmImage& player = *explorer.window.imageForm.get();
        QTRY_VERIFY(!player.SlideImage->image().isNull());
        const QImage played = player.SlideImage->image();
        QCOMPARE(played.pixel(played.width() / 2, played.height() / 2), shown);
        explorer.window.imageForm.unload();
    }

    // Names without a picture extension are ignored without a message
    // although they hold pictures.
    void otherNamesAreIgnoredOnClick_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"README", "notes.txt", "jpg", "photo.jpg.txt", "photo.jpgx"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void otherNamesAreIgnoredOnClick() {
        QFETCH(QString, name);
        ExplorerFixture explorer;
        QVERIFY(writeImage(explorer.path("first.jpg"), testPattern(QSize(30, 20)), "jpeg"));
        QVERIFY(writeImage(explorer.path(name), testPattern(QSize(80, 60)), "jpeg"));
        explorer.browse();
        QVERIFY(explorer.click("first.jpg"));
        QVERIFY(explorer.click(name));
        QCOMPARE(explorer.window.PictureOpened, explorer.path("first.jpg"));
        QCOMPARE(explorer.window.PVPicture->pictureSize(), QSize(30, 20));
        QVERIFY(explorer.messages().isEmpty());
    }

    void aFileThatCannotBeShownGivesTheMessage_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"text", "empty", "cut short", "ppm", "deleted after listing"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void aFileThatCannotBeShownGivesTheMessage() {
        QFETCH(QString, kind);
        ExplorerFixture explorer;
        QVERIFY(writeImage(explorer.path("good.bmp"), testPattern(QSize(40, 30)), "bmp"));
        const QString bad = explorer.path("bad.jpg");
        if (kind == "text") {
            QVERIFY(writeBytes(bad, "holiday notes\n"));
        } else if (kind == "empty" || kind == "deleted after listing") {
            QVERIFY(writeBytes(bad, QByteArray()));
        } else if (kind == "cut short") {
            QVERIFY(writeImage(bad, testPattern(QSize(200, 200)), "jpeg"));
            QVERIFY(writeBytes(bad, readBytes(bad).chopped(300)));
        } else {
            QVERIFY(writeImage(bad, testPattern(), "ppm"));
        }
        explorer.browse();
        if (kind == "deleted after listing")
            QVERIFY(QFile::remove(bad));
        QVERIFY(explorer.click("good.bmp"));
        QVERIFY(explorer.click("bad.jpg"));

        QCOMPARE(explorer.messages().size(), 1);
        QCOMPARE(explorer.messages().at(0).text, cannotOpen);
        QCOMPARE(explorer.messages().at(0).icon, MessageIcon::Stop);
        QCOMPARE(explorer.window.PictureOpened, bad);
        // The preview keeps what it showed, the pointer is normal again,
        // and the explorer works on.
        QCOMPARE(explorer.window.PVPicture->pictureSize(), QSize(40, 30));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(explorer.click("good.bmp"));
        QCOMPARE(explorer.window.PictureOpened, explorer.path("good.bmp"));
        QCOMPARE(explorer.messages().size(), 1);
    }

    // A file in the root folder gets "//name"; any path with a doubled
    // separator names the same file.
    void aPathWithADoubledSeparatorLoads() {
        ExplorerFixture explorer;
        QVERIFY(writeImage(explorer.path("root.jpg"), testPattern(QSize(33, 22)), "jpeg"));
        explorer.window.PictureOpened = QLatin1Char('/') + explorer.path("root.jpg");
        QVERIFY(explorer.window.PictureOpened.startsWith("//"));
        explorer.window.ShowPreview();
        QVERIFY(explorer.messages().isEmpty());
        QCOMPARE(explorer.window.PVPicture->pictureSize(), QSize(33, 22));
    }

    // 9000 x 9000 is beyond what Qt decodes at full size by default; the
    // preview decodes it small and still reports its full extent.
    void aHugeJpegLoadsWithItsFullExtent() {
        ExplorerFixture explorer;
        QVERIFY(writeImage(explorer.path("huge.jpg"), testPattern(QSize(9000, 9000)), "jpeg", 75));
        explorer.browse();
        QVERIFY(explorer.click("huge.jpg"));
        QVERIFY(explorer.messages().isEmpty());
        const PictureView* preview = explorer.window.PVPicture;
        QCOMPARE(preview->pictureSize(), QSize(9000, 9000));
        QCOMPARE(preview->Picture(), QSize(238125, 238125));
        const QSize bound = PictureView::decodeBound();
        QVERIFY(preview->image().width() <= bound.width());
        QVERIFY(preview->image().height() <= bound.height());
        QCOMPARE(patternMismatch(preview->image(), true), QString());
    }

    // With the mouse the current row moves before the file is selected;
    // the click must still preview, once, and once more on a second click.
    void aMouseClickOnAFilePreviewsItOnce() {
        ExplorerFixture explorer;
        QVERIFY(writeImage(explorer.path("a.jpg"), testPattern(QSize(20, 10)), "jpeg"));
        QVERIFY(writeBytes(explorer.path("b.jpg"), "not a picture"));
        explorer.browse();
        explorer.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&explorer.window));
        FileListBox* files = explorer.window.FileLst;
        const auto rowCentre = [files](int row) {
            return files->visualItemRect(files->item(row)).center();
        };
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, rowCentre(0));
        QCOMPARE(explorer.window.PictureOpened, explorer.path("a.jpg"));
        QCOMPARE(explorer.window.PVPicture->pictureSize(), QSize(20, 10));
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, rowCentre(1));
        QCOMPARE(explorer.messages().size(), 1);
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, rowCentre(1));
        QCOMPARE(explorer.messages().size(), 2);
        files->setFocus();
        QTest::keyClick(files, Qt::Key_Up);
        QCOMPARE(explorer.window.PictureOpened, explorer.path("a.jpg"));
        QCOMPARE(explorer.messages().size(), 2);
    }

    void doubleClickingAPictureShowsItAndAddsIt() {
        ExplorerFixture explorer;
        QVERIFY(writeImage(explorer.path("a.jpg"), testPattern(QSize(20, 10)), "jpeg"));
        explorer.browse();
        QVERIFY(explorer.click("a.jpg"));
        explorer.window.FileLst_DblClick();
        QCOMPARE(explorer.window.PictureOpened, explorer.path("a.jpg"));
        QCOMPARE(explorer.window.PVPicture->pictureSize(), QSize(20, 10));
        QCOMPARE(explorer.window.slideList().entries(), QStringList{explorer.path("a.jpg")});
    }
};
KAVELO_TEST(PreviewTest)

#include "tst_preview.moc"
