#include "settings/SettingsFileCheck.h"
#include "settings/SettingsStore.h"
#include "support/AsUnprivileged.h"
#include "support/FileBytes.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QByteArray goodBytes("[opts]\nTimerSecs=7\n[paths]\nDir=/home/me\n");

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class SettingsFaultsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unparsableFilesGiveDefaultsAndAreKeptAside_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QString>("timer"); // "TimerSecs" as read, default "1"
        QTest::newRow("good file") << goodBytes << false << "7";
        QTest::newRow("empty file") << QByteArray() << false << "1";
        QTest::newRow("comments, blanks, CR LF")
            << QByteArray("; mine\r\n\r\n# too\r\n[opts]\r\n TimerSecs = 7 \r\n") << false << "7";
        QTest::newRow("byte-order mark")
            << QByteArray("\xef\xbb\xbf[opts]\nTimerSecs=7\n") << false << "7";
        QTest::newRow("unclosed section") << QByteArray("[opts\nTimerSecs=7\n") << true << "1";
        QTest::newRow("unclosed last section")
            << QByteArray("[opts]\nTimerSecs=7\n[paths\nDir=/x\n") << true << "1";
        QTest::newRow("line without equals") << QByteArray("[opts]\nTimerSecs 7\n") << true << "1";
        QTest::newRow("empty key") << QByteArray("[opts]\n=7\n") << true << "1";
        // A number as QSettings writes a non-text value; as a list item too.
        QTest::newRow("serialized variant")
            << QByteArray("[opts]\nTimerSecs=7\nSavePath=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\n")
            << true << "1";
        QTest::newRow("serialized variant in a list")
            << QByteArray(
                   "[opts]\nTimerSecs=7\nSavePath=1, \"@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\"\n")
            << true << "1";
        QTest::newRow("text starting with @")
            << QByteArray("[opts]\nTimerSecs=7\nSavePath=@@1\n") << false << "7";
        QTest::newRow("NUL in a key") << QByteArray("[opts]\nTimer\0Secs=7\n", 20) << true << "1";
        QTest::newRow("NUL in a value")
            << QByteArray("[opts]\nTimerSecs=7\0x\n", 21) << true << "1";
        QTest::newRow("invalid UTF-8")
            << QByteArray("[opts]\nTimerSecs=7\n[paths]\nDir=/\xff\xfe\n") << true << "1";
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk.append(char((i * 7919 + i / 251) & 0xff));
        QTest::newRow("random bytes") << junk << true << "1";
        QTest::newRow("beyond any size the program writes")
            << QByteArray("[opts]\nTimerSecs=7\n" + QByteArray(2 << 20, ';')) << true << "1";
    }
    void unparsableFilesGiveDefaultsAndAreKeptAside() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, damaged);
        QFETCH(QString, timer);
        QTemporaryDir dir;
        const QString file = dir.filePath("Vantrel.conf");
        QVERIFY(writeBytes(file, bytes));
        QCOMPARE(inspectSettingsFile(file),
                 damaged ? SettingsFileState::Damaged : SettingsFileState::Readable);

        SettingsStore store(file);
        QCOMPARE(store.read("opts", "TimerSecs", "1"), timer);
        QCOMPARE(store.contains("paths", "Dir"), bytes == goodBytes);
        // Reading changes nothing on disk.
        QCOMPARE(fileContents(file), bytes);
        QCOMPARE(filesIn(dir.path()), QStringList{"Vantrel.conf"});

        store.write("opts", "SavePath", "1");
        QCOMPARE(store.read("opts", "SavePath"), QStringLiteral("1"));
        QCOMPARE(store.read("opts", "TimerSecs", "1"), timer);
        if (damaged) {
            QCOMPARE(store.backupPath(), file + ".bak");
            QCOMPARE(fileContents(file + ".bak"), bytes);
            QCOMPARE(filesIn(dir.path()), (QStringList{"Vantrel.conf", "Vantrel.conf.bak"}));
        } else {
            QVERIFY(store.backupPath().isEmpty());
            QCOMPARE(filesIn(dir.path()), QStringList{"Vantrel.conf"});
        }
        // The file now written is one the next run reads in full.
        QCOMPARE(inspectSettingsFile(file), SettingsFileState::Readable);
        const SettingsStore next(file);
        QCOMPARE(next.read("opts", "SavePath"), QStringLiteral("1"));
        QCOMPARE(next.read("opts", "TimerSecs", "1"), timer);
    }

    void earlierBackupsAreNeverReplaced() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Vantrel.conf");
        QVERIFY(writeBytes(file + ".bak", "first"));
        QVERIFY(writeBytes(file + ".bak.2", "second"));
        QVERIFY(writeBytes(file, "[third"));
        SettingsStore store(file);
        store.write("opts", "TimerSecs", "3");
        QCOMPARE(store.backupPath(), file + ".bak.3");
        QCOMPARE(fileContents(file + ".bak"), QByteArray("first"));
        QCOMPARE(fileContents(file + ".bak.2"), QByteArray("second"));
        QCOMPARE(fileContents(file + ".bak.3"), QByteArray("[third"));
        QCOMPARE(freeBackupPath("/c/V.conf", [](const QString&) { return true; }), QString());
    }

    void settingsPathThatIsAFolderGivesDefaults() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Vantrel.conf");
        QVERIFY(QDir(dir.path()).mkdir("Vantrel.conf"));
        SettingsStore store(file);
        QCOMPARE(store.read("opts", "TimerSecs", "1"), QStringLiteral("1"));
        store.write("opts", "TimerSecs", "4");
        QCOMPARE(SettingsStore(file).read("opts", "TimerSecs", "1"), QStringLiteral("4"));
        QVERIFY(QFileInfo(file + ".bak").isDir());
    }

    // A folder that cannot be written, and a file that cannot be read: the
    // program goes on with what it can read, keeps its writes for the run,
    // and the files stay as they were.
    void unwritableOrUnreadableSettingsKeepTheProgramWorking_data() {
        QTest::addColumn<bool>("fileReadable");
        QTest::addColumn<bool>("folderWritable");
        QTest::newRow("folder not writable") << true << false;
        QTest::newRow("file not readable, folder not writable") << false << false;
        QTest::newRow("file not readable") << false << true;
    }
    void unwritableOrUnreadableSettingsKeepTheProgramWorking() {
        QFETCH(bool, fileReadable);
        QFETCH(bool, folderWritable);
        QTemporaryDir dir;
        const QString folder = dir.filePath("config");
        const QString file = folder + "/Vantrel.conf";
        QVERIFY(QDir(dir.path()).mkdir("config"));
        QVERIFY(writeBytes(file, goodBytes));
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ExeOther));
        const auto browse = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(file, fileReadable ? QFile::ReadOwner | QFile::ReadOther
                                                         : QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(
            folder, folderWritable ? browse | QFile::WriteOwner | QFile::WriteOther : browse));
        QString timer;
        QString savePath;
        QString backup;
        {
            const AsUnprivileged nobody;
            if (!nobody.active())
                QSKIP("cannot drop root privileges for the check");
            SettingsStore store(file);
            timer = store.read("opts", "TimerSecs", "1");
            store.write("opts", "SavePath", "1");
            savePath = store.read("opts", "SavePath");
            backup = store.backupPath();
        }
        QFile::setPermissions(folder, browse | QFile::WriteOwner);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(timer, fileReadable ? QStringLiteral("7") : "1");
        if (folderWritable) {
            // The unreadable file was moved aside whole, and a new one made.
            QCOMPARE(backup, file + ".bak");
            QCOMPARE(fileContents(file + ".bak"), goodBytes);
            QCOMPARE(savePath, QStringLiteral("1"));
        } else {
            QCOMPARE(fileContents(file), goodBytes);
            QCOMPARE(filesIn(folder), QStringList{"Vantrel.conf"});
            // A readable store keeps the write for the run.
            QCOMPARE(savePath, fileReadable ? QStringLiteral("1") : QString());
        }
    }
};
KAVELO_TEST(SettingsFaultsTest)

#include "tst_settingsfaults.moc"
