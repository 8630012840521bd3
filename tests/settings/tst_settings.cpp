#include "settings/SettingsConversions.h"
#include "settings/SettingsStore.h"
#include "support/TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class SettingsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void absentKeysGiveTheReadersDefault() {
        QTemporaryDir dir;
        const SettingsStore store(dir.filePath("Vantrel.conf"));
        QCOMPARE(store.read("opts", "TimerSecs", "1"), QStringLiteral("1"));
        QCOMPARE(store.read("opts", "SavePath"), QString());
        QCOMPARE(store.read("paths", "Drive", "C:"), QStringLiteral("C:"));
        QVERIFY(!store.contains("paths", "Dir"));
        // Reading creates nothing.
        QVERIFY(!QFile::exists(dir.filePath("Vantrel.conf")));
    }

    void writesReachTheFileAtOnceAndRoundTrip() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Vantrel.conf");
        SettingsStore store(file);
        store.write("opts", "TimerSecs", "30");
        store.write("opts", "SavePath", "1");
        store.write("paths", "Drive", "/");
        const QString odd = QStringLiteral("/home/ä ö/with, comma;semi=eq\"quote");
        store.write("paths", "Dir", odd);

        // A second store on the same file, as the next run would open it,
        // without the first one being destroyed (the run may end at once).
        const SettingsStore next(file);
        QCOMPARE(next.read("opts", "TimerSecs", "1"), QStringLiteral("30"));
        QCOMPARE(next.read("opts", "SavePath"), QStringLiteral("1"));
        QCOMPARE(next.read("paths", "Drive", "C:"), QStringLiteral("/"));
        QCOMPARE(next.read("paths", "Dir"), odd);

        QFile raw(file);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray text = raw.readAll();
        QVERIFY(text.contains("[opts]"));
        QVERIFY(text.contains("[paths]"));
        QVERIFY(text.contains("TimerSecs=30"));
    }

    void userFileIsNamedAfterTheApplicationTitle() {
        QVERIFY(SettingsStore::userFilePath("Vantrel").endsWith("/Vantrel.conf"));
    }

    void playerSeconds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("seconds");
        QTest::newRow("absent default") << "1" << 1;
        QTest::newRow("slider maximum") << "30" << 30;
        QTest::newRow("largest 16-bit product") << "54" << 54;
        QTest::newRow("overflowing product") << "55" << 1;
        QTest::newRow("zero") << "0" << 1;
        QTest::newRow("negative") << "-3" << 1;
        QTest::newRow("not a number") << "abc" << 1;
        QTest::newRow("fraction") << "2.5" << 1;
        QTest::newRow("empty") << "" << 1;
        QTest::newRow("blanks around") << " 7 " << 7;
        QTest::newRow("huge") << "99999999999999999999" << 1;
    }
    void playerSeconds() {
        QFETCH(QString, text);
        QFETCH(int, seconds);
        QCOMPARE(playerSecondsFromText(text), seconds);
    }

    void sliderPosition_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("position");
        QTest::newRow("in range") << "12" << 12;
        QTest::newRow("below") << "0" << 1;
        QTest::newRow("above") << "54" << 30;
        QTest::newRow("not a number") << "x" << 1;
    }
    void sliderPosition() {
        QFETCH(QString, text);
        QFETCH(int, position);
        QCOMPARE(sliderPositionFromText(text), position);
    }

    void savePathIsOnOnlyWhenNumericallyOne_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("on");
        QTest::newRow("text 1") << QVariant(QStringLiteral("1")) << true;
        QTest::newRow("number 1") << QVariant(1) << true;
        QTest::newRow("text 1.0") << QVariant(QStringLiteral("1.0")) << true;
        QTest::newRow("text with blanks") << QVariant(QStringLiteral(" 1 ")) << true;
        QTest::newRow("empty") << QVariant(QString()) << false;
        QTest::newRow("text 0") << QVariant(QStringLiteral("0")) << false;
        QTest::newRow("number 0") << QVariant(0) << false;
        QTest::newRow("text 2") << QVariant(QStringLiteral("2")) << false;
        QTest::newRow("not a number") << QVariant(QStringLiteral("yes")) << false;
        QTest::newRow("begins with 1") << QVariant(QStringLiteral("1abc")) << false;
        QTest::newRow("invalid") << QVariant() << false;
    }
    void savePathIsOnOnlyWhenNumericallyOne() {
        QFETCH(QVariant, value);
        QFETCH(bool, on);
        QCOMPARE(isSavePathOn(value), on);
    }

    void leadingNumberReadsWhatTheTextBeginsWith() {
        QCOMPARE(leadingNumber(QStringLiteral("1abc")), 1L);
        QCOMPARE(leadingNumber(QStringLiteral("")), 0L);
        QCOMPARE(leadingNumber(QStringLiteral("abc")), 0L);
        QCOMPARE(leadingNumber(QStringLiteral(" 12")), 12L);
        QCOMPARE(leadingNumber(QVariant(1)), 1L);
        QCOMPARE(leadingNumber(QVariant()), 0L);
    }
};
KAVELO_TEST(SettingsTest)

#include "tst_settings.moc"
