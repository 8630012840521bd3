#include "about/frmAbout.h"
#include "explorer/frmExplorer.h"
#include "options/frmOptions.h"
#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "support/ExplorerFixture.h"
#include "support/TestRegistry.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

namespace {
void activate(QWidget& window) {
    QEvent activation(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activation);
}
} // namespace

// The options dialog and the about box as the explorer opens them.
class DialogsInExplorerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void explorerLoadCreatesTheDialogHidden() {
        ExplorerFixture explorer;
        frmExplorer& e = explorer.window;
        QVERIFY(e.optionsForm.isLoaded());
        frmOptions* dialog = e.optionsForm.get();
        QVERIFY(!dialog->isVisible());
        QVERIFY(!dialog->chkSavePath->isChecked());

        e.mnuOpts_Click();
        QCOMPARE(e.optionsForm.get(), dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowModality(), Qt::NonModal);
        QVERIFY(e.isEnabled());
        QVERIFY(!dialog->testAttribute(Qt::WA_ShowModal));
    }

    void theMenuCreatesTheDialogAfreshAfterOk() {
        ExplorerFixture explorer;
        frmExplorer& e = explorer.window;
        e.mnuOpts_Click();
        e.optionsForm.get()->cmdOK_Click();
        QTRY_VERIFY(!e.optionsForm.isLoaded());
        e.mnuOpts_Click();
        QVERIFY(e.optionsForm.isLoaded());
        QVERIFY(e.optionsForm.get()->isVisible());
    }

    void applyDuringARunDecidesWhatTheExitStores_data() {
        QTest::addColumn<bool>("apply");
        QTest::newRow("applied") << true;
        QTest::newRow("checked but cancelled") << false;
    }
    void applyDuringARunDecidesWhatTheExitStores() {
        QFETCH(bool, apply);
        ExplorerFixture explorer;
        frmExplorer& e = explorer.window;
        e.mnuOpts_Click();
        frmOptions* dialog = e.optionsForm.get();
        activate(*dialog);
        dialog->chkSavePath->setChecked(true);
        if (apply)
            QTest::mouseClick(dialog->cmdApply, Qt::LeftButton);
        else
            QTest::mouseClick(dialog->cmdCancel, Qt::LeftButton);

        e.btnExit_Click();
        QCOMPARE(explorer.world.programEnd.calls, 1);
        if (apply) {
            QCOMPARE(explorer.world.stored("paths", "Drive"), e.Drive->drive());
            QCOMPARE(explorer.world.stored("paths", "Dir"), e.Dir->path());
            QCOMPARE(explorer.world.stored("paths", "Dir"), explorer.start.path());
        } else {
            QCOMPARE(explorer.world.stored("paths", "Drive"), QStringLiteral("<absent>"));
            QCOMPARE(explorer.world.stored("paths", "Dir"), QStringLiteral("<absent>"));
        }
    }

    void aPlayerOpenedAfterApplyUsesTheNewInterval() {
        ExplorerFixture explorer;
        frmExplorer& e = explorer.window;
        e.slideList().append(QDir::temp().filePath("kavelo-missing-picture.jpg"));

        // A player already open keeps what it read.
        e.SlideShow_Click();
        QVERIFY(e.imageForm.isLoaded());
        QCOMPARE(e.imageForm.get()->Timer1->interval(), 600);

        e.mnuOpts_Click();
        frmOptions* dialog = e.optionsForm.get();
        activate(*dialog);
        dialog->TimerSecs->setValue(7);
        dialog->cmdApply_Click();
        QCOMPARE(e.imageForm.get()->Timer1->interval(), 600);

        e.imageForm.unload();
        QTRY_VERIFY(!e.imageForm.isLoaded());
        e.SlideShow_Click();
        QCOMPARE(e.imageForm.get()->Seconds, 7);
        QCOMPARE(e.imageForm.get()->Timer1->interval(), 7 * 600);
        e.imageForm.unload();
    }

    void openCloseOpenShowsTheSame() {
        FakeWorld world;
        AppContext context = world.context();
        context.info.major = 2;
        context.info.minor = 10;
        context.info.revision = 3;
        frmExplorer e(context, VolumeTable({{"/", ""}}, QDir::tempPath()));
        e.Form_Load();
        e.show();

        e.mnuAboutInfo_Click();
        QPointer<frmAbout> first = e.aboutForm.get();
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->windowModality(), Qt::ApplicationModal);
        QCOMPARE(first->Label1->text(), QStringLiteral("Version: 2.10.3"));
        const QImage firstLook = first->grab().toImage();
        QTest::mouseClick(first->cmdOK, Qt::LeftButton);
        QTRY_VERIFY(first.isNull());
        QVERIFY(!e.aboutForm.isLoaded());

        e.mnuAboutInfo_Click();
        frmAbout* second = e.aboutForm.get();
        QVERIFY(second && second->isVisible());
        QCOMPARE(second->Label1->text(), QStringLiteral("Version: 2.10.3"));
        QCOMPARE(second->grab().toImage(), firstLook);
        second->close();
        QTRY_VERIFY(!e.aboutForm.isLoaded());
    }
};
KAVELO_TEST(DialogsInExplorerTest)

#include "tst_dialogs.moc"
