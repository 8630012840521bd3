#include "support/FileBytes.h"
#include "support/SaveFaultLists.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QByteArray couldNotBeSaved("The slideshow file could not be saved\n");
// 30,000 entries of 20 bytes: three chunks of the writer, so faults can
// strike at the first, a middle and the last write.
constexpr int entryCount = 30000;
const QByteArray oldBytes("/old/a.jpg\r\n/old/b.jpg\r\n");

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The save child with the fault shim preloaded, hitting files in folder.
void prepareChild(QProcess& child, const QString& folder, const QString& fault) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("KAVELO_FAULT_DIR"), folder);
    environment.insert(QStringLiteral("KAVELO_FAULT"), fault);
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KAVELO_FAULT_SHIM));
    // A sanitizer build wants its runtime first; the shim comes before it.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
    child.setProcessEnvironment(environment);
    child.setProgram(QStringLiteral(KAVELO_SAVE_CHILD));
}
} // namespace

class SaveFaultsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void faultsKeepTheOldFileAndSaySo_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("saved");
        QTest::newRow("no fault") << "none" << true << true;
        QTest::newRow("no fault, new file") << "none" << false << true;
        QTest::newRow("first write takes nothing") << "short:0" << true << false;
        QTest::newRow("write cut short") << "short:1000" << true << false;
        QTest::newRow("short after one chunk") << "short:300000" << true << false;
        QTest::newRow("short at the last byte") << "short:599999" << true << false;
        QTest::newRow("disk full at once") << "enospc:0" << true << false;
        QTest::newRow("disk full in the middle") << "enospc:400000" << true << false;
        QTest::newRow("disk full, new file") << "enospc:400000" << false << false;
        QTest::newRow("I/O error at once") << "eio:0" << true << false;
        QTest::newRow("I/O error in the middle") << "eio:300000" << true << false;
        QTest::newRow("fsync fails") << "fsync" << true << false;
        QTest::newRow("fsync fails, new file") << "fsync" << false << false;
        QTest::newRow("rename fails") << "rename" << true << false;
        QTest::newRow("link fails, new file") << "link" << false << false;
    }
    void faultsKeepTheOldFileAndSaySo() {
        QFETCH(QString, fault);
        QFETCH(bool, existing);
        QFETCH(bool, saved);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("show.SLD"));
        if (existing)
            QVERIFY(writeBytes(path, oldBytes));
        QProcess child;
        prepareChild(child, folder.path(), fault);
        child.setArguments({QStringLiteral("once"), path, QString::number(entryCount)});
        child.start();
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        QCOMPARE(child.readAllStandardOutput(), saved ? QByteArray() : couldNotBeSaved);
        if (saved)
            QCOMPARE(fileContents(path), faultTestBytes(QStringLiteral("new"), entryCount));
        else if (existing)
            QCOMPARE(fileContents(path), oldBytes);
        // No temporary file is left beside it, and a failed first save
        // creates nothing.
        QCOMPARE(filesIn(folder.path()),
                 existing || saved ? QStringList{QStringLiteral("show.SLD")} : QStringList());
    }

    // A save killed at any moment leaves the old list or the new one, never
    // a mixture or a cut-short file.
    void killedSavesLeaveOneWholeList() {
        constexpr int entries = 5000;
        const QByteArray first = faultTestBytes(QStringLiteral("first"), entries);
        const QByteArray second = faultTestBytes(QStringLiteral("second"), entries + entries / 2);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("show.SLD"));
        QVERIFY(writeBytes(path, oldBytes));
        QRandomGenerator random(13);
        QElapsedTimer clock;
        clock.start();
        int saves = 0;
        int kills = 0;
        QSet<QString> strays;
        while (saves < 1000) {
            QProcess child;
            prepareChild(child, folder.path(), QStringLiteral("none"));
            child.setArguments({QStringLiteral("loop"), path, QString::number(entries)});
            child.start();
            QVERIFY(child.waitForStarted());
            // Wait for a random number of saves, then kill at a random
            // moment within the next one.
            const int wanted = random.bounded(1, 40);
            int done = 0;
            while (done < wanted && child.waitForReadyRead(10000))
                done += child.readAllStandardOutput().count("saved\n");
            QTest::qSleep(random.bounded(0, 4));
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            saves += done + child.readAllStandardOutput().count("saved\n");
            ++kills;

            const QByteArray left = fileContents(path);
            QVERIFY2(
                left == oldBytes || left == first || left == second,
                qPrintable(QStringLiteral("after %1 saves: %2 bytes").arg(saves).arg(left.size())));
            for (const QString& name : filesIn(folder.path()))
                if (name != QLatin1String("show.SLD"))
                    strays.insert(name);
        }
        qInfo("%d saves in %d kills, %lld ms; temporary files left by kills: %lld", saves, kills,
              static_cast<long long>(clock.elapsed()), static_cast<long long>(strays.size()));
    }
};
KAVELO_TEST(SaveFaultsTest)

#include "tst_savefaults.moc"
