#include "support/ExplorerFixture.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/FileListBox.h"
#include "ui/PictureView.h"

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QDir>
#include <QTest>

// What a screen reader and a keyboard user meet in the explorer.
class ExplorerAccessibilityTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listsAreNamedForWhatTheyHold_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("drive list") << "Drive"
                                    << "Drives";
        QTest::newRow("folder list") << "Dir"
                                     << "Folders";
        QTest::newRow("file list") << "FileLst"
                                   << "Files";
        QTest::newRow("slide list") << "FileList"
                                    << "Slide list";
    }
    void listsAreNamedForWhatTheyHold() {
        QFETCH(QString, control);
        QFETCH(QString, name);
        ExplorerFixture explorer;
        auto* widget = explorer.window.findChild<QWidget*>(control);
        QVERIFY(widget);
        QAccessibleInterface* item = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(item);
        QCOMPARE(item->text(QAccessible::Name), name);
    }

    void theDriveListStillTellsTheDriveShown() {
        ExplorerFixture explorer;
        QAccessibleInterface* drives = QAccessible::queryAccessibleInterface(explorer.window.Drive);
        QCOMPARE(drives->role(), QAccessible::ComboBox);
        QCOMPARE(drives->text(QAccessible::Value), QStringLiteral("/"));
        QCOMPARE(drives->childCount(), 1);
    }

    // The indent of a subfolder is drawn; its entry reads as its name.
    void folderEntriesReadAsTheirNames() {
        ExplorerFixture explorer;
        QVERIFY(QDir(explorer.files.path()).mkdir(QStringLiteral("sub")));
        explorer.browse();
        DirListBox* folders = explorer.window.Dir;
        const int last = folders->count() - 1;
        QCOMPARE(folders->entryPath(last), explorer.path(QStringLiteral("sub")));
        QAccessibleTableInterface* table =
            QAccessible::queryAccessibleInterface(folders)->tableInterface();
        QVERIFY(table);
        QCOMPARE(table->cellAt(last, 0)->text(QAccessible::Name), QStringLiteral("sub"));
        QCOMPARE(table->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("/"));
        // Deeper entries still stand further right.
        const QModelIndex root = folders->model()->index(0, 0);
        const QModelIndex sub = folders->model()->index(last, 0);
        QVERIFY(folders->itemDelegate()->sizeHint(QStyleOptionViewItem(), sub).width() >
                folders->itemDelegate()->sizeHint(QStyleOptionViewItem(), root).width());
    }

    // Tab passes the preview by; it is a picture that names its file.
    void thePreviewIsAPictureAndNoTabStop() {
        ExplorerFixture explorer;
        QVERIFY(writeImage(explorer.path("cat.jpg"), testPattern(), "jpeg"));
        explorer.browse();
        explorer.window.show();
        explorer.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&explorer.window));
        explorer.window.FileList->setFocus();
        QTest::keyClick(explorer.window.FileList, Qt::Key_Tab);
        QTRY_VERIFY(explorer.window.FileLst->hasFocus());

        QVERIFY(explorer.click("cat.jpg"));
        QAccessibleInterface* preview =
            QAccessible::queryAccessibleInterface(explorer.window.PVPicture);
        QCOMPARE(preview->role(), QAccessible::Graphic);
        QCOMPARE(preview->text(QAccessible::Name), QStringLiteral("Preview"));
        QCOMPARE(preview->text(QAccessible::Description), explorer.path("cat.jpg"));
    }
};
KAVELO_TEST(ExplorerAccessibilityTest)

#include "tst_accessibility.moc"
