#include "support/TestRegistry.h"
#include "ui/FileSystem.h"
#include "ui/KeyCodes.h"
#include "picture/Units.h"

#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>

class HelpersTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keyCodes_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("code");
        QTest::newRow("space") << int(Qt::Key_Space) << 0 << 32;
        QTest::newRow("tab") << int(Qt::Key_Tab) << 0 << 9;
        QTest::newRow("shift+tab arrives as backtab")
            << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << 9;
        QTest::newRow("5") << int(Qt::Key_5) << 0 << 53;
        QTest::newRow("shift+5 is percent") << int(Qt::Key_Percent) << int(Qt::ShiftModifier) << 53;
        QTest::newRow("keypad 5 is not 5") << int(Qt::Key_5) << int(Qt::KeypadModifier) << 101;
        QTest::newRow("return") << int(Qt::Key_Return) << 0 << 13;
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 13;
        QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << 27;
        QTest::newRow("keypad plus") << int(Qt::Key_Plus) << int(Qt::KeypadModifier) << 107;
        QTest::newRow("main plus is not keypad plus") << int(Qt::Key_Plus) << 0 << 0;
        QTest::newRow("keypad minus") << int(Qt::Key_Minus) << int(Qt::KeypadModifier) << 109;
        QTest::newRow("main minus") << int(Qt::Key_Minus) << 0 << 0;
        QTest::newRow("letter") << int(Qt::Key_Q) << 0 << 81;
    }
    void keyCodes() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, code);
        const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(virtualKeyCode(event), code);
    }

    void shiftStateMasks() {
        const QKeyEvent ctrlShift(QEvent::KeyPress, Qt::Key_Tab,
                                  Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(shiftState(ctrlShift), 3);
        const QKeyEvent alt(QEvent::KeyPress, Qt::Key_A, Qt::AltModifier);
        QCOMPARE(shiftState(alt), 4);
    }

    void twipsRoundToPixels() {
        QCOMPARE(twipsToPixels(15), 1);
        QCOMPARE(twipsToPixels(11790), 786);
        // Far edges are rounded, so touching controls keep touching.
        const QRect left = twipsRect(240, 4620, 1515, 735);
        const QRect right = twipsRect(1755, 4620, 1515, 735);
        QCOMPARE(left.right() + 1, right.left());
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

    void supportedExtensionsAreExactAndCaseSensitive() {
        for (const char* yes : {"jpg", "bmp", "tif"})
            QVERIFY(isSupportedPictureExtension(QLatin1String(yes)));
        for (const char* no : {"JPG", "Jpg", "jpeg", "tiff", "png", "", "jp"})
            QVERIFY(!isSupportedPictureExtension(QLatin1String(no)));
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
KAVELO_TEST(HelpersTest)

#include "tst_helpers.moc"
