#include "explorer/frmExplorer.h"
#include "settings/SettingsStore.h"
#include "show/SlideListModel.h"
#include "support/ExplorerFixture.h"
#include "support/TestRegistry.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/FileListBox.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

namespace {
void touch(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList rows(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text().trimmed());
    return texts;
}

// A tree with two "volumes": the temporary folder stands for the root
// volume's place in the test, usb/ for a second mounted volume.
struct Tree {
    Tree() {
        const QDir root(dir.path());
        for (const char* folder : {"home/pics/b", "home/pics/A", "home/pics/c", "home/pics/.hidden",
                                   "usb/photos", "usb/music"})
            root.mkpath(QLatin1String(folder));
        for (const char* file : {"home/pics/zeta.txt", "home/pics/Alpha.jpg", "home/pics/beta.bmp",
                                 "home/pics/.secret.jpg", "usb/photos/x.tif"})
            touch(root.filePath(QLatin1String(file)));
    }
    QString path(const char* relative) const { return dir.filePath(QLatin1String(relative)); }
    VolumeTable volumes() const {
        return VolumeTable({{QStringLiteral("/"), QString()}, {path("usb"), QStringLiteral("USB")}},
                           path("home"));
    }
    QTemporaryDir dir;
};
} // namespace

class BrowsingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstRunStartsOnTheProcessFolderAndStoresNothing() {
        Tree tree;
        ExplorerFixture explorer(tree.volumes());
        QCOMPARE(explorer.window.Dir->path(), tree.path("home"));
        QCOMPARE(explorer.window.Drive->drive(), QStringLiteral("/"));
        QVERIFY(!explorer.window.Remove->isEnabled());
        QCOMPARE(explorer.window.intSavePath, QVariant(QString()));
        explorer.window.btnExit_Click();
        QCOMPARE(explorer.world.programEnd.calls, 1);
        QCOMPARE(explorer.world.stored("paths", "Drive"), QStringLiteral("<absent>"));
        QCOMPARE(explorer.world.stored("paths", "Dir"), QStringLiteral("<absent>"));
    }

    void foldersAndFilesAreListedSortedWithoutHiddenOnes() {
        Tree tree;
        ExplorerFixture explorer(tree.volumes());
        explorer.window.Dir->openFolder(tree.path("home/pics"));
        const QStringList folders = rows(explorer.window.Dir);
        // Ancestors from the root down, then the subfolders.
        QCOMPARE(folders.first(), QStringLiteral("/"));
        QCOMPARE(folders.mid(folders.size() - 4), QStringList({"pics", "A", "b", "c"}));
        QCOMPARE(explorer.window.Dir->entryPath(explorer.window.Dir->currentRow()),
                 tree.path("home/pics"));
        QCOMPARE(rows(explorer.window.FileLst), QStringList({"Alpha.jpg", "beta.bmp", "zeta.txt"}));
        QCOMPARE(explorer.window.FileLst->path(), tree.path("home/pics"));
    }

    void openingAnEntryWithEnterMovesTheListsThere() {
        Tree tree;
        ExplorerFixture explorer(tree.volumes());
        explorer.window.Dir->openFolder(tree.path("home/pics"));
        const int row = rows(explorer.window.Dir).indexOf(QStringLiteral("b"));
        explorer.window.Dir->setCurrentRow(row);
        QTest::keyClick(explorer.window.Dir, Qt::Key_Return);
        QCOMPARE(explorer.window.Dir->path(), tree.path("home/pics/b"));
        QCOMPARE(explorer.window.FileLst->count(), 0);
        // The root entry opens the root itself, not the drive's current folder.
        explorer.window.Dir->setCurrentRow(0);
        QTest::keyClick(explorer.window.Dir, Qt::Key_Return);
        QCOMPARE(explorer.window.Dir->path(), QStringLiteral("/"));
    }

    void aDriveChangeGoesToThatDrivesCurrentFolder() {
        Tree tree;
        ExplorerFixture explorer(tree.volumes());
        explorer.window.slideList().append(QStringLiteral("/kept.jpg"));
        explorer.window.Dir->openFolder(tree.path("home/pics"));

        explorer.window.Drive->setDrive(tree.path("usb"));
        QCOMPARE(explorer.window.Dir->path(), tree.path("usb"));
        explorer.window.Dir->openFolder(tree.path("usb/photos"));
        QCOMPARE(rows(explorer.window.FileLst), QStringList({"x.tif"}));

        // Back on the first drive, the folder is where the user left it.
        explorer.window.Drive->setDrive(QStringLiteral("/"));
        QCOMPARE(explorer.window.Dir->path(), tree.path("home/pics"));
        explorer.window.Drive->setDrive(tree.path("usb"));
        QCOMPARE(explorer.window.Dir->path(), tree.path("usb/photos"));
        QCOMPARE(explorer.window.slideList().count(), 1);
    }

    void loadRestoresDriveAndFolderOnlyWhenRemembering_data() {
        QTest::addColumn<QString>("savePath");
        QTest::addColumn<bool>("withDrive");
        QTest::addColumn<bool>("withDir");
        QTest::addColumn<QString>("expected");
        QTest::newRow("on, both stored") << "1" << true << true << "usb/photos";
        QTest::newRow("on, no folder stored") << "1" << true << false << "usb";
        // The drive read in its place names no volume here.
        QTest::newRow("on, nothing stored") << "1" << false << false << "home";
        QTest::newRow("off") << "0" << true << true << "home";
        QTest::newRow("not a number") << "yes" << true << true << "home";
        QTest::newRow("absent") << "" << true << true << "home";
    }
    void loadRestoresDriveAndFolderOnlyWhenRemembering() {
        QFETCH(QString, savePath);
        QFETCH(bool, withDrive);
        QFETCH(bool, withDir);
        QFETCH(QString, expected);
        Tree tree;
        ExplorerFixture explorer(tree.volumes(), ExplorerFixture::Load::Later);
        SettingsStore& settings = *explorer.world.settings;
        if (!savePath.isEmpty())
            settings.write("opts", "SavePath", savePath);
        if (withDrive)
            settings.write("paths", "Drive", tree.path("usb"));
        if (withDir)
            settings.write("paths", "Dir", tree.path("usb/photos"));
        explorer.window.Form_Load();
        QCOMPARE(explorer.window.Dir->path(), tree.path(expected.toLatin1().constData()));
        QCOMPARE(explorer.window.FileLst->path(), explorer.window.Dir->path());
        QCOMPARE(explorer.window.Drive->drive(),
                 expected.startsWith("usb") ? tree.path("usb") : QStringLiteral("/"));
    }

    void vanishedLocationsFallBackToAValidFolder() {
        Tree tree;
        ExplorerFixture explorer(tree.volumes(), ExplorerFixture::Load::Later);
        SettingsStore& settings = *explorer.world.settings;
        settings.write("opts", "SavePath", "1");
        settings.write("paths", "Drive", tree.path("gone-volume"));
        settings.write("paths", "Dir", tree.path("home/pics/deleted/deeper"));
        explorer.window.Form_Load();
        QCOMPARE(explorer.window.Dir->path(), tree.path("home/pics"));
        QCOMPARE(explorer.world.prompter.messages.size(), 0);

        // A folder removed while the explorer shows it.
        explorer.window.Dir->openFolder(tree.path("usb/music"));
        QVERIFY(QDir(tree.path("usb/music")).removeRecursively());
        explorer.window.Drive->setDrive(QStringLiteral("/"));
        explorer.window.Drive->setDrive(tree.path("usb"));
        QCOMPARE(explorer.window.Dir->path(), tree.path("usb"));

        // Nothing left at all: the home folder.
        explorer.window.Dir->openFolder(QStringLiteral("relative/nonsense"));
        QVERIFY(QDir(explorer.window.Dir->path()).exists());
    }

    void unloadStoresTheLocationWhenTheFlagIsOnAtThatMoment() {
        Tree tree;
        ExplorerFixture explorer(tree.volumes());
        explorer.window.Drive->setDrive(tree.path("usb"));
        explorer.window.Dir->openFolder(tree.path("usb/photos"));
        // The options dialog's Apply sets the number during the run.
        explorer.window.intSavePath = 1;
        explorer.window.close();
        QCOMPARE(explorer.world.stored("paths", "Drive"), tree.path("usb"));
        QCOMPARE(explorer.world.stored("paths", "Dir"), tree.path("usb/photos"));
        QCOMPARE(explorer.world.programEnd.calls, 1);
    }

    void turningRememberingOffKeepsWhatWasStored() {
        Tree tree;
        ExplorerFixture explorer(tree.volumes(), ExplorerFixture::Load::Later);
        explorer.world.settings->write("opts", "SavePath", "1");
        explorer.world.settings->write("paths", "Dir", tree.path("usb/photos"));
        explorer.window.Form_Load();
        explorer.window.intSavePath = 0;
        explorer.window.Dir->openFolder(tree.path("home"));
        explorer.window.btnExit_Click();
        QCOMPARE(explorer.world.stored("paths", "Dir"), tree.path("usb/photos"));
    }

    void fileOpenDoesNothing() {
        Tree tree;
        ExplorerFixture explorer(tree.volumes());
        const QString before = explorer.window.Dir->path();
        explorer.window.Open->trigger();
        QCOMPARE(explorer.window.Dir->path(), before);
        QCOMPARE(explorer.world.prompter.messages.size(), 0);
        QCOMPARE(explorer.world.programEnd.calls, 0);
    }

    void controlsStandAtTheirDesignedPlaces() {
        Tree tree;
        ExplorerFixture explorer(tree.volumes(), ExplorerFixture::Load::Later);
        QCOMPARE(explorer.window.centralWidget()->size(), QSize(786, 624));
        QCOMPARE(explorer.window.Drive->geometry(), QRect(16, 8, 321, 21));
        QCOMPARE(explorer.window.Dir->geometry(), QRect(16, 32, 321, 126));
        QCOMPARE(explorer.window.btnExit->geometry(), QRect(680, 568, 101, 49));
        QCOMPARE(explorer.window.btnExit->text(), QStringLiteral("E&xit"));
        QCOMPARE(explorer.window.mnuOpts->text(), QStringLiteral("&Options"));
        QCOMPARE(explorer.window.minimumSize(), explorer.window.maximumSize());
        // Tab order as designed.
        QCOMPARE(explorer.window.Drive->nextInFocusChain(),
                 static_cast<QWidget*>(explorer.window.Dir));
    }
};
KAVELO_TEST(BrowsingTest)

#include "tst_browsing.moc"
