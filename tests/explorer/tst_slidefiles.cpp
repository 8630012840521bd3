#include "show/SlideListModel.h"
#include "support/AsUnprivileged.h"
#include "support/ExplorerFixture.h"
#include "support/FileBytes.h"
#include "support/TestRegistry.h"
#include "ui/DirListBox.h"

#include <QDir>
#include <QFile>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace {
const QString doesNotExist = QStringLiteral("The slideshow file does not exist");
const QString couldNotBeRead = QStringLiteral("The slideshow file could not be read");
const QString couldNotBeSaved = QStringLiteral("The slideshow file could not be saved");
const QString nonAscii = QStringLiteral("/home/jürgen/Bilder/Straße Ærø/夏の海 😀.jpg");

QStringList numberedEntries(int count) {
    QStringList entries;
    for (int i = 0; i < count; ++i)
        entries.append(QStringLiteral("/pics/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
    return entries;
}

// A file system of 16 KiB that runs full at once: a tmpfs mounted on a
// temporary folder, which needs root and a system that allows the mount.
class TinyDisk {
public:
    TinyDisk() {
        if (geteuid() != 0) {
            reason_ = "mounting a tmpfs needs root";
            return;
        }
        if (::mount("tmpfs", QFile::encodeName(folder_.path()).constData(), "tmpfs",
                    MS_NOSUID | MS_NODEV, "size=16k,mode=0700") != 0) {
            reason_ = QByteArray("cannot mount a tmpfs: ") + strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~TinyDisk() {
        if (mounted_)
            ::umount2(QFile::encodeName(folder_.path()).constData(), MNT_DETACH);
    }
    TinyDisk(const TinyDisk&) = delete;
    TinyDisk& operator=(const TinyDisk&) = delete;

    bool mounted() const { return mounted_; }
    const char* reason() const { return reason_.constData(); }
    QString filePath(const QString& name) const { return folder_.filePath(name); }
    QStringList files() const { return QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden); }

private:
    QTemporaryDir folder_;
    QByteArray reason_;
    bool mounted_ = false;
};

// The explorer on a temporary folder, driving its Load and Save commands.
struct Scene : ExplorerFixture {
    void save(std::optional<QString> answer) {
        world.fileDialog.answers.append(answer);
        window.cmdSave_Click();
    }
    void load(std::optional<QString> answer) {
        world.fileDialog.answers.append(answer);
        window.cmdLoad_Click();
    }
    QStringList entries() { return window.slideList().entries(); }
    // The one stop message shown, or what went wrong instead.
    QString stopMessage() const {
        const auto& shown = world.prompter.messages;
        if (shown.size() != 1)
            return QStringLiteral("%1 messages").arg(shown.size());
        return shown.first().icon == MessageIcon::Stop ? shown.first().text
                                                       : QStringLiteral("no stop icon");
    }
};

const QStringList oldList{QStringLiteral("/old/a.jpg"), QStringLiteral("/old/b.jpg")};
const QByteArray oldBytes("/old/a.jpg\r\n/old/b.jpg\r\n");
} // namespace

class SlideFileCommandsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void savesByteExactAndLoadsBackTheSameList_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty list, empty file") << QStringList() << QByteArray();
        QTest::newRow("three paths") << QStringList{"/p/c.jpg", "/p/a.bmp", "/p/b.tif"}
                                     << QByteArray("/p/c.jpg\r\n/p/a.bmp\r\n/p/b.tif\r\n");
        QTest::newRow("blanks and commas")
            << QStringList{"/my pics/a, b.jpg", " /lead and trail.jpg "}
            << QByteArray("/my pics/a, b.jpg\r\n /lead and trail.jpg \r\n");
        QTest::newRow("non-ASCII") << QStringList{nonAscii, "/ok.jpg"}
                                   << QByteArray(nonAscii.toUtf8() + "\r\n/ok.jpg\r\n");
    }
    void savesByteExactAndLoadsBackTheSameList() {
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, bytes);
        Scene scene;
        scene.window.slideList().append(entries);
        const QString first = scene.path(QStringLiteral("first.SLD"));
        scene.save(first);
        QCOMPARE(fileContents(first), bytes);

        scene.window.slideList().append(QStringLiteral("/never saved.jpg"));
        scene.load(first);
        QCOMPARE(scene.entries(), entries);

        const QString second = scene.path(QStringLiteral("second.SLD"));
        scene.save(second);
        QCOMPARE(fileContents(second), bytes);
        QVERIFY(scene.world.prompter.messages.isEmpty());
    }

    void loadReplacesTheListAndSelectsNothing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("last line without terminator")
            << QByteArray("/n/1.jpg\r\n/n/2.jpg") << QStringList{"/n/1.jpg", "/n/2.jpg"};
        QTest::newRow("blank line") << QByteArray("/n/1.jpg\r\n\r\n/n/2.jpg\r\n")
                                    << QStringList{"/n/1.jpg", "", "/n/2.jpg"};
        QTest::newRow("empty file") << QByteArray() << QStringList();
    }
    void loadReplacesTheListAndSelectsNothing() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        Scene scene;
        const QString path = scene.path(QStringLiteral("show.SLD"));
        QVERIFY(writeBytes(path, bytes));
        scene.window.slideList().append(oldList);
        // Picking an entry previews it (and fails: there is no such picture).
        scene.window.FileList->setCurrentIndex(scene.window.slideList().index(1));
        QCOMPARE(scene.window.intSlideIndex, 1);
        scene.world.prompter.messages.clear();
        const QString previewed = scene.window.PictureOpened;
        const QString folder = scene.window.Dir->path();

        scene.load(path);
        QCOMPARE(scene.entries(), entries);
        QVERIFY(scene.window.FileList->selectionModel()->selectedIndexes().isEmpty());
        QVERIFY(scene.world.prompter.messages.isEmpty());
        QCOMPARE(scene.window.PictureOpened, previewed);
        QCOMPARE(scene.window.Dir->path(), folder);
        QVERIFY(scene.window.Remove->isEnabled());
        QCOMPARE(scene.window.strSavePath, path);
    }

    void loadingWhatIsNoFileLeavesTheListEmpty_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing file") << QStringLiteral("missing.SLD");
        QTest::newRow("folder") << QStringLiteral("folder.SLD");
    }
    void loadingWhatIsNoFileLeavesTheListEmpty() {
        QFETCH(QString, name);
        Scene scene;
        QVERIFY(QDir(scene.files.path()).mkdir(QStringLiteral("folder.SLD")));
        scene.window.slideList().append(oldList);
        scene.load(scene.path(name));
        QCOMPARE(scene.entries(), QStringList());
        QCOMPARE(scene.stopMessage(), doesNotExist);
        // The name stays chosen although nothing was loaded from it.
        QCOMPARE(scene.window.strSavePath, scene.path(name));
    }

    void cancellingEitherDialogChangesNothing_data() {
        QTest::addColumn<bool>("loading");
        QTest::newRow("load") << true;
        QTest::newRow("save") << false;
    }
    void cancellingEitherDialogChangesNothing() {
        QFETCH(bool, loading);
        Scene scene;
        const QString path = scene.path(QStringLiteral("show.SLD"));
        scene.window.slideList().append(oldList);
        scene.save(path);
        scene.window.slideList().append(QStringLiteral("/added later.jpg"));
        const QStringList before = scene.entries();

        if (loading)
            scene.load(std::nullopt);
        else
            scene.save(std::nullopt);
        QCOMPARE(scene.entries(), before);
        QCOMPARE(scene.window.strSavePath, path);
        QCOMPARE(fileContents(path), oldBytes);
        QVERIFY(scene.world.prompter.messages.isEmpty());
        QCOMPARE(scene.world.fileDialog.offeredNames.last(), path);
    }

    void bothDialogsOfferTheFileChosenLast() {
        Scene scene;
        const QString saved = scene.path(QStringLiteral("saved.SLD"));
        const QString missing = scene.path(QStringLiteral("missing.SLD"));
        scene.load(std::nullopt);
        scene.save(saved);
        scene.load(missing); // fails, yet is the file chosen last
        scene.save(std::nullopt);
        scene.load(saved);
        scene.save(std::nullopt);
        QCOMPARE(scene.world.fileDialog.offeredNames,
                 (QStringList{"", "", saved, missing, missing, saved}));
    }

    void failedSaveKeepsWhatIsThere_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("targetIsFolder");
        QTest::newRow("entry with a line break")
            << QStringList{"/new/a.jpg", "/new/b\n.jpg"} << false;
        QTest::newRow("target is a folder") << QStringList{"/new/a.jpg"} << true;
    }
    void failedSaveKeepsWhatIsThere() {
        QFETCH(QStringList, entries);
        QFETCH(bool, targetIsFolder);
        Scene scene;
        const QString path = scene.path(QStringLiteral("show.SLD"));
        if (targetIsFolder)
            QVERIFY(QDir(scene.files.path()).mkdir(QStringLiteral("show.SLD")));
        else
            QVERIFY(writeBytes(path, oldBytes));
        scene.window.slideList().append(entries);

        scene.save(path);
        QCOMPARE(scene.stopMessage(), couldNotBeSaved);
        QCOMPARE(scene.entries(), entries);
        QCOMPARE(scene.window.strSavePath, path);
        QCOMPARE(QDir(scene.files.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("show.SLD")});
        if (targetIsFolder)
            QVERIFY(QDir(path).isEmpty());
        else
            QCOMPARE(fileContents(path), oldBytes);
    }

    void saveOnAFullDiskKeepsTheOldFile_data() {
        QTest::addColumn<int>("count");
        // The old file takes one of the four 4 KiB pages, leaving 12 KiB.
        QTest::newRow("fails only when the last bytes are flushed") << 14 * 1024 / 21;
        QTest::newRow("one write that fits only in part") << 40 * 1024 / 21;
        QTest::newRow("many writes") << 400 * 1024 / 21;
    }
    void saveOnAFullDiskKeepsTheOldFile() {
        QFETCH(int, count);
        TinyDisk disk;
        if (!disk.mounted())
            QSKIP(disk.reason());
        const QString path = disk.filePath(QStringLiteral("show.SLD"));
        QVERIFY(writeBytes(path, oldBytes));
        Scene scene;
        scene.window.slideList().append(numberedEntries(count));

        scene.save(path);
        QCOMPARE(scene.stopMessage(), couldNotBeSaved);
        QCOMPARE(fileContents(path), oldBytes);
        QCOMPARE(disk.files(), QStringList{QStringLiteral("show.SLD")});
    }

    void saveIntoAFolderWithoutWritePermissionKeepsTheOldFile() {
        Scene scene;
        const QString locked = scene.path(QStringLiteral("locked"));
        const QString path = locked + QStringLiteral("/show.SLD");
        QVERIFY(QDir(scene.files.path()).mkdir(QStringLiteral("locked")));
        QVERIFY(writeBytes(path, oldBytes));
        // Only the folder refuses: the file itself may be written by anyone.
        const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                              QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        const auto browseOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(path, everyone));
        QVERIFY(QFile::setPermissions(locked, browseOnly));
        QVERIFY(QFile::setPermissions(scene.files.path(), browseOnly | QFile::WriteOwner));
        scene.window.slideList().append(numberedEntries(10));
        {
            const AsUnprivileged nobody;
            if (!nobody.active())
                QSKIP("cannot drop root privileges for the check");
            scene.save(path);
        }
        QFile::setPermissions(locked, browseOnly | QFile::WriteOwner);
        QCOMPARE(scene.stopMessage(), couldNotBeSaved);
        QCOMPARE(fileContents(path), oldBytes);
        QCOMPARE(QDir(locked).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("show.SLD")});
    }

    void unreadableFileIsReported() {
        Scene scene;
        const QString path = scene.path(QStringLiteral("secret.SLD"));
        QVERIFY(writeBytes(path, oldBytes));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(scene.files.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ExeOwner | QFile::ExeOther));
        scene.window.slideList().append(QStringLiteral("/before.jpg"));
        {
            const AsUnprivileged nobody;
            if (!nobody.active())
                QSKIP("cannot drop root privileges for the check");
            scene.load(path);
        }
        QCOMPARE(scene.stopMessage(), couldNotBeRead);
        QCOMPARE(scene.entries(), QStringList());
    }

    void junkLoadsWithoutHarm_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("count"); // -1: any number
        QTest::newRow("NUL bytes") << QByteArray("/a\0b.jpg\r\n\0\r\n", 13) << 2;
        QByteArray junk;
        for (int i = 0; i < 100000; ++i)
            junk.append(char((i * 7919 + i / 251) & 0xff));
        QTest::newRow("binary junk") << junk << -1;
    }
    void junkLoadsWithoutHarm() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, count);
        Scene scene;
        const QString path = scene.path(QStringLiteral("junk.SLD"));
        QVERIFY(writeBytes(path, bytes));
        scene.load(path);
        QVERIFY(scene.world.prompter.messages.isEmpty());
        QVERIFY(scene.window.slideList().count() > 0);
        if (count >= 0)
            QCOMPARE(scene.window.slideList().count(), count);
    }
};
KAVELO_TEST(SlideFileCommandsTest)

#include "tst_slidefiles.moc"
