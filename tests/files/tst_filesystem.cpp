#include "files/FileSystem.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class FileSystemTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void entries_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("make");
        QTest::addColumn<bool>("byName");
        QTest::addColumn<bool>("asSlide");
        QTest::newRow("picture") << "a.jpg" << true << true << true;
        QTest::newRow("picture gone") << "b.bmp" << false << true << false;
        QTest::newRow("upper case") << "c.JPG" << true << true << true;
        QTest::newRow("other type") << "d.txt" << true << false << false;
        QTest::newRow("folder named like one") << "e.tif" << false << true << false;
    }
    void entries() {
        QFETCH(QString, name);
        QFETCH(bool, make);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (make) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (name.startsWith(QLatin1Char('e'))) {
            QVERIFY(QDir(dir.path()).mkdir(name));
        }
        QTEST(isPictureName(path), "byName");
        QTEST(canShowSlide(path), "asSlide");
    }

    void extensionName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("extension");
        QTest::newRow("plain") << "/a/b.jpg"
                               << "jpg";
        QTest::newRow("several dots") << "/a/archive.tar.jpg"
                                      << "jpg";
        QTest::newRow("upper case kept") << "/a/B.JPG"
                                         << "JPG";
        QTest::newRow("no dot") << "/a/README"
                                << "";
        QTest::newRow("dot only in folder") << "/a.d/file"
                                            << "";
        QTest::newRow("trailing dot") << "/a/file."
                                      << "";
        QTest::newRow("root double slash") << "//x.bmp"
                                           << "bmp";
    }
    void extensionName() {
        QFETCH(QString, path);
        QFETCH(QString, extension);
        QCOMPARE(GetExtensionName(path), extension);
    }

    void supportedExtensionsInAnyCase() {
        for (const char* yes : {"jpg", "JPG", "Jpg", "jpeg", "JPE", "bmp", "DIB", "tif", "TIFF",
                                "png", "GIF", "webp", "HEIC", "heif", "hif", "AVIF", "jxl"})
            QVERIFY2(isSupportedPictureExtension(QLatin1String(yes)), yes);
        for (const char* no : {"", "jp", "jpgx", "txt", "sld", "ico", "svg", "tga", "heics", "pdf"})
            QVERIFY2(!isSupportedPictureExtension(QLatin1String(no)), no);
    }

    void fileExistsOnlyForFiles() {
        QTemporaryDir dir;
        QFile file(dir.filePath("a.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(FileExists(dir.filePath("a.jpg")));
        QVERIFY(!FileExists(dir.path()));
        QVERIFY(!FileExists(dir.filePath("missing.jpg")));
        QVERIFY(!FileExists(QString()));
        QVERIFY(QFile::link(dir.filePath("a.jpg"), dir.filePath("link.jpg")));
        QVERIFY(FileExists(dir.filePath("link.jpg")));
    }

    void picturePathInRootHasTwoSlashes() {
        QCOMPARE(picturePath("/", "a.jpg"), QStringLiteral("//a.jpg"));
        QCOMPARE(picturePath("/home/x", "a.jpg"), QStringLiteral("/home/x/a.jpg"));
    }
};
KAVELO_TEST(FileSystemTest)

#include "tst_filesystem.moc"
