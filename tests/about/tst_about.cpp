#include "about/frmAbout.h"
#include "support/Fakes.h"
#include "support/TestRegistry.h"
#include "ui/LinkLabel.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class AboutTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void versionIsWrittenAtLoad_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("text");
        QTest::newRow("this release") << 1 << 0 << 0 << "Version: 1.0.0";
        QTest::newRow("two digits, no padding") << 2 << 10 << 3 << "Version: 2.10.3";
        QTest::newRow("zeros") << 0 << 0 << 0 << "Version: 0.0.0";
    }
    void versionIsWrittenAtLoad() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, text);
        FakeWorld world;
        AppContext context = world.context();
        context.info.major = major;
        context.info.minor = minor;
        context.info.revision = revision;
        frmAbout box(context);
        QCOMPARE(box.Label1->text(), QStringLiteral("Version"));
        box.Form_Load();
        QCOMPARE(box.Label1->text(), text);
    }

    void onlyOkOrTheCloseBoxEndsTheBox_data() {
        QTest::addColumn<bool>("onLink");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Escape on OK") << false << int(Qt::Key_Escape) << false;
        QTest::newRow("Escape on the link") << true << int(Qt::Key_Escape) << false;
        QTest::newRow("Enter on OK") << false << int(Qt::Key_Return) << true;
        QTest::newRow("keypad Enter on OK") << false << int(Qt::Key_Enter) << true;
        QTest::newRow("Space on OK") << false << int(Qt::Key_Space) << true;
        QTest::newRow("Enter on the link opens it, not OK") << true << int(Qt::Key_Return) << false;
    }
    void onlyOkOrTheCloseBoxEndsTheBox() {
        QFETCH(bool, onLink);
        QFETCH(int, key);
        QFETCH(bool, closes);
        FakeWorld world;
        QPointer<frmAbout> box = new frmAbout(world.context());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->Form_Load();
        box->show();
        QVERIFY(QTest::qWaitForWindowActive(box));
        // OK is first in the tab order, the link next.
        QCOMPARE(QApplication::focusWidget(), box->cmdOK);
        if (onLink) {
            QTest::keyClick(box->cmdOK, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), box->SWBHyperLink1);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        if (closes) {
            QTRY_VERIFY(box.isNull());
            return;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(box && box->isVisible());
        QCOMPARE(world.urlOpener.opened.size(), onLink && key == Qt::Key_Return ? 1 : 0);
        delete box;
    }

    void linkOpensThroughTheDesktop() {
        FakeWorld world;
        frmAbout box(world.context());
        box.Form_Load();
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        LinkLabel* link = box.SWBHyperLink1;
        // The link text is centred on the label's top line.
        const int textWidth = link->fontMetrics().horizontalAdvance(link->linkText());
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(link->width() / 2, 8));
        QCOMPARE(world.urlOpener.opened.size(), 1);
        const QUrl target = world.urlOpener.opened.at(0);
        QVERIFY(target.host().endsWith(QStringLiteral("example.com")));
        QVERIFY(target.host().startsWith(link->linkText().section('/', 0, 0)));
        // A click beside the text is no click on the link.
        QTest::mouseClick(link, Qt::LeftButton, {},
                          QPoint((link->width() - textWidth) / 2 - 10, 8));
        QCOMPARE(world.urlOpener.opened.size(), 1);
    }

    void enlargingMovesNothing() {
        FakeWorld world;
        frmAbout box(world.context());
        box.Form_Load();
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QHash<QString, QRect> before;
        const QList<QWidget*> controls = box.findChildren<QWidget*>();
        for (const QWidget* control : controls)
            before.insert(control->objectName(), control->geometry());
        box.resize(box.width() + 200, box.height() + 150);
        for (const QWidget* control : controls)
            QCOMPARE(control->geometry(), before.value(control->objectName()));
        // The new area is the box's white background.
        const QImage look = box.grab().toImage();
        QCOMPARE(look.pixelColor(box.width() - 5, box.height() - 5), QColor(Qt::white));
    }

    void stacking() {
        FakeWorld world;
        frmAbout box(world.context());
        // Image1 covers the right-hand edge of Image2; the link lies on top
        // of the frame.
        const QObjectList inFrame = box.Frame1->children();
        QVERIFY(inFrame.indexOf(box.Image1) > inFrame.indexOf(box.Image2));
        QVERIFY(box.Image1->geometry().intersects(box.Image2->geometry()));
        const QObjectList inBox = box.children();
        QVERIFY(inBox.indexOf(box.SWBHyperLink1) > inBox.indexOf(box.Frame1));
        QVERIFY(box.Frame1->geometry().contains(box.SWBHyperLink1->geometry()));
        QVERIFY(!box.cmdOK->isDefault());
        QVERIFY(!box.cmdOK->autoDefault());
    }
    // A screen reader finds a link it can activate, not static text.
    void theLinkIsAnActivatableLink() {
        FakeWorld world;
        frmAbout box(world.context());
        QAccessibleInterface* link = QAccessible::queryAccessibleInterface(box.SWBHyperLink1);
        QVERIFY(link);
        QCOMPARE(link->role(), QAccessible::Link);
        QCOMPARE(link->text(QAccessible::Name), box.SWBHyperLink1->linkText());
        QAccessibleActionInterface* actions = link->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(world.urlOpener.opened, QList<QUrl>{box.SWBHyperLink1->target()});
    }
};
KAVELO_TEST(AboutTest)

#include "tst_about.moc"
