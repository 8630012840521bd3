#include "explorer/frmExplorer.h"
#include "support/Fakes.h"
#include "support/TestRegistry.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/FileListBox.h"
#include "show/SlideListModel.h"

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
        FakeWorld world;
        frmExplorer explorer(world.context(), tree.volumes());
        explorer.Form_Load();
        QCOMPARE(explorer.Dir->path(), tree.path("home"));
        QCOMPARE(explorer.Drive->drive(), QStringLiteral("/"));
        QVERIFY(!explorer.Remove->isEnabled());
        QCOMPARE(explorer.intSavePath, QVariant(QString()));
        explorer.btnExit_Click();
        QCOMPARE(world.programEnd.calls, 1);
        QCOMPARE(world.stored("paths", "Drive"), QStringLiteral("<absent>"));
        QCOMPARE(world.stored("paths", "Dir"), QStringLiteral("<absent>"));
    }

    void foldersAndFilesAreListedSortedWithoutHiddenOnes() {
        Tree tree;
        FakeWorld world;
        frmExplorer explorer(world.context(), tree.volumes());
        explorer.Form_Load();
        explorer.Dir->openFolder(tree.path("home/pics"));
        const QStringList folders = rows(explorer.Dir);
        // Ancestors from the root down, then the subfolders.
        QCOMPARE(folders.first(), QStringLiteral("/"));
        QCOMPARE(folders.mid(folders.size() - 4), QStringList({"pics", "A", "b", "c"}));
        QCOMPARE(explorer.Dir->entryPath(explorer.Dir->currentRow()), tree.path("home/pics"));
        QCOMPARE(rows(explorer.FileLst), QStringList({"Alpha.jpg", "beta.bmp", "zeta.txt"}));
        QCOMPARE(explorer.FileLst->path(), tree.path("home/pics"));
    }

    void openingAnEntryWithEnterMovesTheListsThere() {
        Tree tree;
        FakeWorld world;
        frmExplorer explorer(world.context(), tree.volumes());
        explorer.Form_Load();
        explorer.Dir->openFolder(tree.path("home/pics"));
        const int row = rows(explorer.Dir).indexOf(QStringLiteral("b"));
        explorer.Dir->setCurrentRow(row);
        QTest::keyClick(explorer.Dir, Qt::Key_Return);
        QCOMPARE(explorer.Dir->path(), tree.path("home/pics/b"));
        QCOMPARE(explorer.FileLst->count(), 0);
        // The root entry opens the root itself, not the drive's current folder.
        explorer.Dir->setCurrentRow(0);
        QTest::keyClick(explorer.Dir, Qt::Key_Return);
        QCOMPARE(explorer.Dir->path(), QStringLiteral("/"));
    }

    void aDriveChangeGoesToThatDrivesCurrentFolder() {
        Tree tree;
        FakeWorld world;
        frmExplorer explorer(world.context(), tree.volumes());
        explorer.Form_Load();
        explorer.slideList().append(QStringLiteral("/kept.jpg"));
        explorer.Dir->openFolder(tree.path("home/pics"));

        explorer.Drive->setDrive(tree.path("usb"));
        QCOMPARE(explorer.Dir->path(), tree.path("usb"));
        explorer.Dir->openFolder(tree.path("usb/photos"));
        QCOMPARE(rows(explorer.FileLst), QStringList({"x.tif"}));

        // Back on the first drive, the folder is where the user left it.
        explorer.Drive->setDrive(QStringLiteral("/"));
        QCOMPARE(explorer.Dir->path(), tree.path("home/pics"));
        explorer.Drive->setDrive(tree.path("usb"));
        QCOMPARE(explorer.Dir->path(), tree.path("usb/photos"));
        QCOMPARE(explorer.slideList().count(), 1);
    }

    void loadRestoresDriveAndFolderOnlyWhenRemembering_data() {
        QTest::addColumn<QString>("savePath");
        QTest::addColumn<bool>("withDir");
        QTest::addColumn<QString>("expected");
        QTest::newRow("on, both stored") << "1" << true << "usb/photos";
        QTest::newRow("on, no folder stored") << "1" << false << "usb";
        QTest::newRow("off") << "0" << true << "home";
        QTest::newRow("not a number") << "yes" << true << "home";
        QTest::newRow("absent") << "" << true << "home";
    }
    void loadRestoresDriveAndFolderOnlyWhenRemembering() {
        QFETCH(QString, savePath);
        QFETCH(bool, withDir);
        QFETCH(QString, expected);
        Tree tree;
        FakeWorld world;
        if (!savePath.isEmpty())
            world.settings->write("opts", "SavePath", savePath);
        world.settings->write("paths", "Drive", tree.path("usb"));
        if (withDir)
            world.settings->write("paths", "Dir", tree.path("usb/photos"));
        frmExplorer explorer(world.context(), tree.volumes());
        explorer.Form_Load();
        QCOMPARE(explorer.Dir->path(), tree.path(expected.toLatin1().constData()));
        QCOMPARE(explorer.FileLst->path(), explorer.Dir->path());
        QCOMPARE(explorer.Drive->drive(),
                 expected.startsWith("usb") ? tree.path("usb") : QStringLiteral("/"));
    }

    void vanishedLocationsFallBackToAValidFolder() {
        Tree tree;
        FakeWorld world;
        world.settings->write("opts", "SavePath", "1");
        world.settings->write("paths", "Drive", tree.path("gone-volume"));
        world.settings->write("paths", "Dir", tree.path("home/pics/deleted/deeper"));
        frmExplorer explorer(world.context(), tree.volumes());
        explorer.Form_Load();
        QCOMPARE(explorer.Dir->path(), tree.path("home/pics"));
        QCOMPARE(world.prompter.messages.size(), 0);

        // A folder removed while the explorer shows it.
        explorer.Dir->openFolder(tree.path("usb/music"));
        QVERIFY(QDir(tree.path("usb/music")).removeRecursively());
        explorer.Drive->setDrive(QStringLiteral("/"));
        explorer.Drive->setDrive(tree.path("usb"));
        QCOMPARE(explorer.Dir->path(), tree.path("usb"));

        // Nothing left at all: the home folder.
        explorer.Dir->openFolder(QStringLiteral("relative/nonsense"));
        QVERIFY(QDir(explorer.Dir->path()).exists());
    }

    void unloadStoresTheLocationWhenTheFlagIsOnAtThatMoment() {
        Tree tree;
        FakeWorld world;
        frmExplorer explorer(world.context(), tree.volumes());
        explorer.Form_Load();
        explorer.Drive->setDrive(tree.path("usb"));
        explorer.Dir->openFolder(tree.path("usb/photos"));
        // The options dialog's Apply sets the number during the run.
        explorer.intSavePath = 1;
        explorer.close();
        QCOMPARE(world.stored("paths", "Drive"), tree.path("usb"));
        QCOMPARE(world.stored("paths", "Dir"), tree.path("usb/photos"));
        QCOMPARE(world.programEnd.calls, 1);
    }

    void turningRememberingOffKeepsWhatWasStored() {
        Tree tree;
        FakeWorld world;
        world.settings->write("opts", "SavePath", "1");
        world.settings->write("paths", "Dir", tree.path("usb/photos"));
        frmExplorer explorer(world.context(), tree.volumes());
        explorer.Form_Load();
        explorer.intSavePath = 0;
        explorer.Dir->openFolder(tree.path("home"));
        explorer.btnExit_Click();
        QCOMPARE(world.stored("paths", "Dir"), tree.path("usb/photos"));
    }

    void fileOpenDoesNothing() {
        Tree tree;
        FakeWorld world;
        frmExplorer explorer(world.context(), tree.volumes());
        explorer.Form_Load();
        const QString before = explorer.Dir->path();
        explorer.Open->trigger();
        QCOMPARE(explorer.Dir->path(), before);
        QCOMPARE(world.prompter.messages.size(), 0);
        QCOMPARE(world.programEnd.calls, 0);
    }

    void controlsStandAtTheirDesignedPlaces() {
        Tree tree;
        FakeWorld world;
        frmExplorer explorer(world.context(), tree.volumes());
        QCOMPARE(explorer.centralWidget()->size(), QSize(786, 624));
        QCOMPARE(explorer.Drive->geometry(), QRect(16, 8, 321, 21));
        QCOMPARE(explorer.Dir->geometry(), QRect(16, 32, 321, 126));
        QCOMPARE(explorer.btnExit->geometry(), QRect(680, 568, 101, 49));
        QCOMPARE(explorer.btnExit->text(), QStringLiteral("E&xit"));
        QCOMPARE(explorer.mnuOpts->text(), QStringLiteral("&Options"));
        QCOMPARE(explorer.minimumSize(), explorer.maximumSize());
        // Tab order as designed.
        QCOMPARE(explorer.Drive->nextInFocusChain(), static_cast<QWidget*>(explorer.Dir));
    }
};
KAVELO_TEST(BrowsingTest)

#include "tst_browsing.moc"
