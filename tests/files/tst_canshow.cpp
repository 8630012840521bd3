#include "files/FileSystem.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestCanShow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void entries_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("make");
        QTest::addColumn<bool>("byName");
        QTest::addColumn<bool>("asSlide");
        QTest::newRow("picture") << "a.jpg" << true << true << true;
        QTest::newRow("picture gone") << "b.bmp" << false << true << false;
        QTest::newRow("upper case") << "c.JPG" << true << false << false;
        QTest::newRow("other type") << "d.png" << true << false << false;
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
};
KAVELO_TEST(TestCanShow)

#include "tst_canshow.moc"
