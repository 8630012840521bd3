#include "show/SlideListModel.h"
#include "support/ExplorerFixture.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"
#include "ui/DirListBox.h"
#include "ui/FileListBox.h"
#include "ui/PictureView.h"

#include <QFileInfo>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QWindow>

namespace {
const QString cannotOpen = QStringLiteral("Format Not supported. Unable to open picture file.");

// The explorer on a temporary folder, with helpers that name the entries
// by letter.
struct Explorer : ExplorerFixture {
    // Pictures named "A", "B"... of distinct widths, appended to the list.
    void addPictures(const QString& letters) {
        for (const QChar letter : letters) {
            const QString path = this->path(QString(letter) + QStringLiteral(".bmp"));
            writeImage(path, testPattern(QSize(10 + letter.unicode() - 'A', 8)), "bmp");
            window.slideList().append(path);
        }
    }
    // The letters of the entries, in order.
    QString letters() {
        QString text;
        for (const QString& entry : window.slideList().entries())
            text += QFileInfo(entry).baseName();
        return text;
    }
    void select(int row) { window.FileList->setCurrentIndex(window.slideList().index(row)); }
    // The highlighted row, -1 for none.
    int highlighted() const {
        const QModelIndexList rows = window.FileList->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().row() : -1;
    }
    // The letter of the picture the preview shows, by its width.
    QChar previewed() const {
        const QSize size = window.PVPicture->pictureSize();
        return size.isEmpty() ? QChar('-') : QChar('A' + size.width() - 10);
    }
};
} // namespace

class SlideListTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void selectingAnEntryShowsAndRemembersIt() {
        Explorer explorer;
        explorer.addPictures("ABC");
        QVERIFY(!explorer.window.Remove->isEnabled());
        explorer.select(1);
        QCOMPARE(explorer.window.PictureOpened, explorer.path("B.bmp"));
        QCOMPARE(explorer.previewed(), QChar('B'));
        QCOMPARE(explorer.window.intSlideIndex, 1);
        QVERIFY(explorer.window.Remove->isEnabled());
        QVERIFY(explorer.messages().isEmpty());
    }

    void aDeletedEntryGivesTheMessageAndIsStillSelected() {
        Explorer explorer;
        explorer.addPictures("AB");
        explorer.select(0);
        QVERIFY(QFile::remove(explorer.path("B.bmp")));
        explorer.select(1);
        QCOMPARE(explorer.messages().size(), 1);
        QCOMPARE(explorer.messages().at(0).text, cannotOpen);
        QCOMPARE(explorer.messages().at(0).icon, MessageIcon::Stop);
        QCOMPARE(explorer.window.PictureOpened, explorer.path("B.bmp"));
        QCOMPARE(explorer.window.intSlideIndex, 1);
        QVERIFY(explorer.window.Remove->isEnabled());
        QCOMPARE(explorer.previewed(), QChar('A'));
    }

    void removeSelectsTheEntryBefore_data() {
        QTest::addColumn<QString>("entries");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("highlighted");
        QTest::addColumn<QChar>("previewed");
        QTest::newRow("third of four") << "ABCD" << 2 << "ABD" << 1 << QChar('B');
        QTest::newRow("first of three") << "ABC" << 0 << "BC" << 0 << QChar('B');
        QTest::newRow("last of three") << "ABC" << 2 << "AB" << 1 << QChar('B');
        QTest::newRow("second of two") << "AB" << 1 << "A" << 0 << QChar('A');
        // Nothing is left to select; the preview keeps the removed picture.
        QTest::newRow("the only entry") << "A" << 0 << "" << -1 << QChar('A');
    }
    void removeSelectsTheEntryBefore() {
        QFETCH(QString, entries);
        QFETCH(int, selected);
        QFETCH(QString, left);
        QFETCH(int, highlighted);
        QFETCH(QChar, previewed);
        Explorer explorer;
        explorer.addPictures(entries);
        explorer.select(selected);
        explorer.window.Remove_Click();
        QCOMPARE(explorer.letters(), left);
        QCOMPARE(explorer.highlighted(), highlighted);
        QCOMPARE(explorer.previewed(), previewed);
        if (highlighted >= 0) {
            QCOMPARE(explorer.window.intSlideIndex, highlighted);
            QCOMPARE(explorer.window.PictureOpened, explorer.window.slideList().entry(highlighted));
        }
        QVERIFY(explorer.window.Remove->isEnabled());
        QVERIFY(explorer.messages().isEmpty());
    }

    void removeActsOnTheRememberedEntryEvenWhenNotHighlighted() {
        Explorer explorer;
        explorer.addPictures("ABCD");
        explorer.select(2);
        explorer.window.FileList->clearSelection();
        explorer.window.Remove_Click();
        QCOMPARE(explorer.letters(), QStringLiteral("ABD"));
        QCOMPARE(explorer.highlighted(), 1);
    }

    // After a slide show file is loaded the remembered position may name
    // no entry; Remove then does nothing.
    void removeWithAPositionBeyondTheListDoesNothing() {
        Explorer explorer;
        explorer.addPictures("ABCD");
        explorer.select(3);
        explorer.window.slideList().clear();
        explorer.addPictures("AB");
        explorer.window.Remove_Click();
        QCOMPARE(explorer.letters(), QStringLiteral("AB"));
        explorer.window.slideList().clear();
        explorer.window.Remove_Click();
        QCOMPARE(explorer.window.slideList().count(), 0);
        QCOMPARE(explorer.window.intSlideIndex, 3);
        QVERIFY(explorer.messages().isEmpty());
    }

    void selectAllAppendsEveryListedFileEachTime() {
        Explorer explorer;
        QVERIFY(writeImage(explorer.path("b.jpg"), testPattern(), "jpeg"));
        QVERIFY(writeImage(explorer.path("a.BMP"), testPattern(), "bmp"));
        QVERIFY(writeBytes(explorer.path("notes.txt"), "not a picture"));
        explorer.browse();
        explorer.addPictures("A");
        explorer.select(0);
        const QStringList listed{explorer.path("a.BMP"), explorer.path("b.jpg"),
                                 explorer.path("notes.txt")};
        explorer.window.Select_Click();
        QCOMPARE(explorer.window.slideList().entries(),
                 QStringList{explorer.path("A.bmp")} + listed);
        explorer.window.Select_Click();
        QCOMPARE(explorer.window.slideList().entries(),
                 QStringList{explorer.path("A.bmp")} + listed + listed);
        // Appending selects nothing and previews nothing.
        QCOMPARE(explorer.highlighted(), 0);
        QCOMPARE(explorer.window.intSlideIndex, 0);
        QCOMPARE(explorer.window.PictureOpened, explorer.path("A.bmp"));
        QVERIFY(explorer.messages().isEmpty());
    }

    void selectAllInAnEmptyFolderAddsNothing() {
        Explorer explorer;
        explorer.browse();
        explorer.addPictures("A");
        explorer.window.Select_Click();
        QCOMPARE(explorer.letters(), QStringLiteral("A"));
    }

    void doubleClicksAppendAnyFileEveryTime() {
        Explorer explorer;
        QVERIFY(writeImage(explorer.path("photo.jpg.txt"), testPattern(), "jpeg"));
        explorer.browse();
        explorer.window.FileLst->setCurrentRow(0);
        explorer.window.FileLst_DblClick();
        explorer.window.FileLst_DblClick();
        QCOMPARE(explorer.window.slideList().entries(),
                 QStringList({explorer.path("photo.jpg.txt"), explorer.path("photo.jpg.txt")}));
        QCOMPARE(explorer.window.PictureOpened, QString());
    }

    // A mouse click on an entry runs the selection handling once, also when
    // the entry already is the current one; so does an arrow key.
    void eachUserSelectionRunsTheHandlingOnce() {
        Explorer explorer;
        QVERIFY(writeBytes(explorer.path("x.txt"), "text"));
        for (int i = 0; i < 3; ++i)
            explorer.window.slideList().append(explorer.path("x.txt"));
        explorer.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&explorer.window));
        QListView* list = explorer.window.FileList;
        const QPoint second = list->visualRect(explorer.window.slideList().index(1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(explorer.messages().size(), 1);
        QCOMPARE(explorer.window.intSlideIndex, 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(explorer.messages().size(), 2);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(explorer.messages().size(), 3);
        QCOMPARE(explorer.window.intSlideIndex, 2);
    }

    // Focus arriving in a list without a current entry makes entry 0 current
    // but selects nothing: no preview, no message, Remove stays disabled.
    void focusArrivingChoosesNoEntry_data() {
        QTest::addColumn<QString>("from");
        QTest::newRow("Tab from the folder list") << "Tab";
        QTest::newRow("Shift+Tab from the file list") << "Backtab";
        QTest::newRow("the window active again") << "activation";
    }
    void focusArrivingChoosesNoEntry() {
        QFETCH(QString, from);
        Explorer explorer;
        QVERIFY(writeBytes(explorer.path("x.txt"), "text"));
        for (int i = 0; i < 3; ++i)
            explorer.window.slideList().append(explorer.path("x.txt"));
        explorer.window.show();
        explorer.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&explorer.window));
        SlideListView* list = explorer.window.FileList;
        if (from == "Tab") {
            explorer.window.Dir->setFocus();
            QTest::keyClick(explorer.window.Dir, Qt::Key_Tab);
        } else if (from == "Backtab") {
            explorer.window.FileLst->setFocus();
            QTest::keyClick(explorer.window.FileLst, Qt::Key_Backtab);
        } else {
            // Focused while empty; the entries come afterwards, as after a
            // Load, so nothing is current when the window comes back.
            explorer.window.slideList().clear();
            list->setFocus();
            explorer.window.slideList().append(explorer.path("x.txt"));
            QWindow elsewhere;
            elsewhere.show();
            elsewhere.requestActivate();
            QTRY_VERIFY(!explorer.window.isActiveWindow());
            explorer.window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&explorer.window));
        }
        QTRY_VERIFY(list->hasFocus());
        QVERIFY(list->currentIndex().isValid());
        QCOMPARE(explorer.highlighted(), -1);
        QVERIFY(explorer.messages().isEmpty());
        QVERIFY(explorer.window.PictureOpened.isEmpty());
        QVERIFY(!explorer.window.Remove->isEnabled());
        QCOMPARE(explorer.window.intSlideIndex, 0);
    }

    // Ctrl with the arrow keys moves only the focus frame; Remove still
    // takes the entry the user selected.
    void ctrlArrowsMoveNoSelection() {
        Explorer explorer;
        explorer.addPictures("ABCD");
        explorer.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&explorer.window));
        SlideListView* list = explorer.window.FileList;
        list->setFocus();
        explorer.select(1);
        QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(list->currentIndex().row(), 3);
        QCOMPARE(explorer.highlighted(), 1);
        QCOMPARE(explorer.previewed(), QChar('B'));
        QCOMPARE(explorer.window.intSlideIndex, 1);
        explorer.window.Remove->click();
        QCOMPARE(explorer.letters(), QStringLiteral("ACD"));
        QCOMPARE(explorer.highlighted(), 0);
    }

    // Positions are not limited to 16 bits.
    void positionsBeyond32767Work() {
        Explorer explorer;
        explorer.addPictures("A");
        QStringList many;
        for (int i = 0; i < 40000; ++i)
            many.append(explorer.path("A.bmp"));
        explorer.window.slideList().append(many);
        explorer.select(40000);
        QCOMPARE(explorer.window.intSlideIndex, 40000);
        explorer.window.Remove_Click();
        QCOMPARE(explorer.window.slideList().count(), 40000);
        QCOMPARE(explorer.window.intSlideIndex, 39999);
        QCOMPARE(explorer.highlighted(), 39999);
        QVERIFY(explorer.messages().isEmpty());
    }
};
KAVELO_TEST(SlideListTest)

#include "tst_slidelist.moc"
