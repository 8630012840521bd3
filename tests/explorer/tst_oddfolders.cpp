#include "show/SlideListModel.h"
#include "support/AsUnprivileged.h"
#include "support/ExplorerFixture.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"
#include "ui/DirListBox.h"
#include "ui/FileListBox.h"
#include "ui/PictureView.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QStringList shownFiles(const FileListBox& list) {
    QStringList names;
    for (int row = 0; row < list.count(); ++row)
        names.append(list.fileName(row));
    return names;
}

// Opens the folder list's entry of that path, as a double-click does.
bool openEntry(DirListBox& dir, const QString& path) {
    for (int row = 0; row < dir.count(); ++row) {
        if (dir.entryPath(row) == path) {
            Q_EMIT dir.itemActivated(dir.item(row));
            return true;
        }
    }
    return false;
}

// A file named by raw bytes, which need not be valid UTF-8.
bool writeRawName(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool complete = ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
    return ::close(fd) == 0 && complete;
}
} // namespace

class OddFoldersTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unreadableFolderShowsNoFilesAndSaysNothing() {
        ExplorerFixture explorer;
        const QString locked = explorer.path(QStringLiteral("locked"));
        QVERIFY(QDir(explorer.files.path()).mkpath(QStringLiteral("locked/inner")));
        QVERIFY(
            writeBytes(locked + QStringLiteral("/a.jpg"), jpegBytes(testPattern(QSize(20, 10)))));
        QVERIFY(QFile::setPermissions(explorer.files.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther));
        QVERIFY(QFile::setPermissions(locked, QFile::WriteOwner | QFile::ExeOwner));
        explorer.browse();
        {
            const AsUnprivileged nobody;
            if (!nobody.active())
                QSKIP("cannot drop root privileges for the check");
            QVERIFY(openEntry(*explorer.window.Dir, locked));
            QCOMPARE(explorer.window.Dir->path(), locked);
            QCOMPARE(explorer.window.FileLst->count(), 0);
            QCOMPARE(explorer.window.Dir->entryPath(explorer.window.Dir->count() - 1), locked);
            explorer.window.Select_Click();
            // Back up again: the parent lists as before.
            QVERIFY(openEntry(*explorer.window.Dir, explorer.files.path()));
        }
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(explorer.window.Dir->path(), explorer.files.path());
        QCOMPARE(explorer.window.slideList().count(), 0);
        QVERIFY(explorer.messages().isEmpty());
    }

    void folderDeletedWhileShownFallsBackToWhatIsLeft() {
        ExplorerFixture explorer;
        const QString gone = explorer.path(QStringLiteral("gone"));
        QVERIFY(QDir(explorer.files.path()).mkpath(QStringLiteral("gone/deeper")));
        QVERIFY(writeBytes(gone + QStringLiteral("/a.jpg"), jpegBytes(testPattern(QSize(20, 10)))));
        QVERIFY(writeBytes(explorer.path(QStringLiteral("kept.jpg")),
                           jpegBytes(testPattern(QSize(20, 10)))));
        explorer.window.Dir->setPath(gone);
        QCOMPARE(shownFiles(*explorer.window.FileLst), QStringList{QStringLiteral("a.jpg")});
        QVERIFY(QDir(gone).removeRecursively());

        // The lists still show the folder; what is done with them finds it
        // gone and moves to the nearest folder that is left.
        explorer.window.Select_Click();
        QCOMPARE(explorer.window.slideList().entries(),
                 QStringList{gone + QStringLiteral("/a.jpg")});
        QVERIFY(openEntry(*explorer.window.Dir, gone + QStringLiteral("/deeper")));
        QCOMPARE(explorer.window.Dir->path(), explorer.files.path());
        QCOMPARE(shownFiles(*explorer.window.FileLst), QStringList{QStringLiteral("kept.jpg")});
        QVERIFY(explorer.messages().isEmpty());
    }

    void symbolicLinkLoopsNeitherHangNorCrash() {
        ExplorerFixture explorer;
        const QString folder = explorer.files.path();
        QVERIFY(QFile::link(QStringLiteral("."), folder + QStringLiteral("/loop")));
        QVERIFY(QFile::link(QStringLiteral("self"), folder + QStringLiteral("/self")));
        QVERIFY(QFile::link(QStringLiteral("pong"), folder + QStringLiteral("/ping")));
        QVERIFY(QFile::link(QStringLiteral("ping"), folder + QStringLiteral("/pong")));
        QVERIFY(writeBytes(explorer.path(QStringLiteral("a.jpg")),
                           jpegBytes(testPattern(QSize(20, 10)))));
        explorer.browse();
        // Links that lead nowhere are no files to show.
        QCOMPARE(shownFiles(*explorer.window.FileLst), QStringList{QStringLiteral("a.jpg")});
        // Going down the loop again and again: the system stops resolving
        // after a few dozen links, and the list stays on the deepest folder
        // it can still open.
        for (int depth = 0;
             depth < 60 && openEntry(*explorer.window.Dir, explorer.window.Dir->path() + "/loop");
             ++depth) {
        }
        const QString deepest = explorer.window.Dir->path();
        QVERIFY(deepest.startsWith(folder + QStringLiteral("/loop/loop")));
        QVERIFY(deepest.count(QStringLiteral("/loop")) < 60);
        QCOMPARE(shownFiles(*explorer.window.FileLst), QStringList{QStringLiteral("a.jpg")});
        QVERIFY(explorer.click(QStringLiteral("a.jpg")));
        QCOMPARE(explorer.window.PVPicture->pictureSize(), QSize(20, 10));
        QVERIFY(explorer.messages().isEmpty());
    }

    void nameWithALineFeedIsListedPreviewedAndAdded() {
        ExplorerFixture explorer;
        const QString name = QStringLiteral("two\nlines.jpg");
        QVERIFY(writeBytes(explorer.path(name), jpegBytes(testPattern(QSize(20, 10)))));
        explorer.browse();
        QCOMPARE(shownFiles(*explorer.window.FileLst), QStringList{name});
        QVERIFY(explorer.click(name));
        QCOMPARE(explorer.window.PVPicture->pictureSize(), QSize(20, 10));
        explorer.window.FileLst_DblClick();
        QCOMPARE(explorer.window.slideList().entries(), QStringList{explorer.path(name)});
        QVERIFY(explorer.messages().isEmpty());
    }

    // Qt 6.4 reads file names as UTF-8 and its folder listing skips any
    // name that is not: with no text that leads back to the bytes, such a
    // file could neither be opened nor saved in a list. The rest of the
    // folder lists and works as usual.
    void namesThatAreNotUtf8AreLeftOutAndTheRestWorks() {
        ExplorerFixture explorer;
        const QByteArray folder = QFile::encodeName(explorer.files.path());
        QVERIFY(writeRawName(folder + "/caf\xe9.jpg", jpegBytes(testPattern(QSize(20, 10)))));
        QVERIFY(::mkdir(QByteArray(folder + "/d\xff").constData(), 0755) == 0);
        QVERIFY(QDir(explorer.files.path()).mkdir(QStringLiteral("plain")));
        QVERIFY(writeBytes(explorer.path(QStringLiteral("plain.jpg")),
                           jpegBytes(testPattern(QSize(20, 10)))));
        // Decoding loses the byte, so the name cannot come back.
        QCOMPARE(QFile::decodeName("caf\xe9.jpg"), QStringLiteral("caf\uFFFD.jpg"));
        QVERIFY(QFile::encodeName(QFile::decodeName("caf\xe9.jpg")) != "caf\xe9.jpg");

        explorer.browse();
        QCOMPARE(shownFiles(*explorer.window.FileLst), QStringList{QStringLiteral("plain.jpg")});
        const DirListBox& dir = *explorer.window.Dir;
        QCOMPARE(dir.entryPath(dir.count() - 1), explorer.path(QStringLiteral("plain")));
        QCOMPARE(dir.entryPath(dir.count() - 2), explorer.files.path());
        QVERIFY(explorer.click(QStringLiteral("plain.jpg")));
        QCOMPARE(explorer.window.PVPicture->pictureSize(), QSize(20, 10));
        explorer.window.Select_Click();
        QCOMPARE(explorer.window.slideList().entries(),
                 QStringList{explorer.path(QStringLiteral("plain.jpg"))});
        QVERIFY(explorer.messages().isEmpty());
    }
};
KAVELO_TEST(OddFoldersTest)

#include "tst_oddfolders.moc"
