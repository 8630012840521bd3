#include "options/frmOptions.h"
#include "support/Fakes.h"
#include "support/TestRegistry.h"
#include "ui/Form.h"
#include "ui/Units.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QWindow>

Q_DECLARE_METATYPE(Qt::Key)

namespace {
void activate(QWidget& window) {
    QEvent activation(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activation);
}

// The page of the selected tab is in view and enabled, the other is off to
// the left and disabled.
void verifyPages(const frmOptions& dialog, int selectedTab) {
    QCOMPARE(dialog.tbsOptions->currentIndex() + 1, selectedTab);
    for (int i = 0; i < dialog.picOptions.size(); ++i) {
        const QWidget* page = dialog.picOptions.at(i);
        if (i == selectedTab - 1) {
            QCOMPARE(page->pos(), QPoint(twipsToPixels(210), twipsToPixels(740)));
            QVERIFY(page->isEnabled());
        } else {
            QCOMPARE(page->x(), twipsToPixels(-20000));
            QVERIFY(!page->isEnabled());
        }
    }
}
} // namespace

class OptionsTest : public QObject {
    Q_OBJECT
    // Each test starts from an empty store and the explorer's flag unset.
    std::unique_ptr<FakeWorld> world;
    QVariant flag;
    std::unique_ptr<frmOptions> made;

    // A dialog as the explorer makes it: it reads the flag at every
    // activation and sets it when applied.
    frmOptions* make() {
        auto* dialog = new frmOptions(*world->settings, [this] { return flag; });
        connect(dialog, &frmOptions::savePathApplied, this,
                [this](const QVariant& applied) { flag = applied; });
        return dialog;
    }
    frmOptions& dialog() {
        if (!made)
            made.reset(make());
        return *made;
    }

private Q_SLOTS:
    void init() {
        world = std::make_unique<FakeWorld>();
        flag = QVariant();
    }
    void cleanup() {
        made.reset();
        world.reset();
    }

    void firstUseWithEmptyStore() {
        flag = QString();
        frmOptions& dialog = this->dialog();
        dialog.Form_Load();
        dialog.show();
        activate(dialog);
        QCOMPARE(dialog.TimerSecs->value(), 1);
        QCOMPARE(dialog.lblTimerSecs->text(), QStringLiteral("Display images for 1 second"));
        QVERIFY(!dialog.chkSavePath->isChecked());
        verifyPages(dialog, 1);
        QCOMPARE(world->stored("opts", "TimerSecs"), QStringLiteral("<absent>"));
    }

    void storedValuesShownAtActivation_data() {
        QTest::addColumn<QString>("timerSecs");
        QTest::addColumn<QVariant>("flag");
        QTest::addColumn<int>("slider");
        QTest::addColumn<bool>("checked");
        QTest::newRow("in range, text 1") << "7" << QVariant(QStringLiteral("1")) << 7 << true;
        QTest::newRow("upper end, number 1") << "30" << QVariant(1) << 30 << true;
        QTest::newRow("number 0") << "1" << QVariant(0) << 1 << false;
        QTest::newRow("text 0") << "12" << QVariant(QStringLiteral("0")) << 12 << false;
        QTest::newRow("above range: nearer bound")
            << "45" << QVariant(QStringLiteral("2")) << 30 << false;
        QTest::newRow("zero: nearer bound") << "0" << QVariant(-1) << 1 << false;
        QTest::newRow("negative") << "-3" << QVariant(QStringLiteral("")) << 1 << false;
        QTest::newRow("not a number") << "abc" << QVariant() << 1 << false;
        QTest::newRow("flag text starting with 1")
            << " 5 " << QVariant(QStringLiteral("1abc")) << 5 << true;
    }
    void storedValuesShownAtActivation() {
        QFETCH(QString, timerSecs);
        QFETCH(QVariant, flag);
        QFETCH(int, slider);
        QFETCH(bool, checked);
        this->flag = flag;
        world->settings->write("opts", "TimerSecs", timerSecs);
        frmOptions& dialog = this->dialog();
        dialog.chkSavePath->setChecked(!checked);
        activate(dialog);
        QCOMPARE(dialog.TimerSecs->value(), slider);
        QCOMPARE(dialog.chkSavePath->isChecked(), checked);
        // Showing is no write.
        QCOMPARE(world->stored("opts", "TimerSecs"), timerSecs);
        QCOMPARE(world->stored("opts", "SavePath"), QStringLiteral("<absent>"));
    }

    void labelFollowsTheSlider_data() {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("label");
        QTest::newRow("right to 2: plural") << Qt::Key_Right << 1 << "Display images for 2 seconds";
        QTest::newRow("left to 1: singular") << Qt::Key_Left << 2 << "Display images for 1 second";
        QTest::newRow("page up: large step")
            << Qt::Key_PageUp << 1 << "Display images for 6 seconds";
        QTest::newRow("end: 30") << Qt::Key_End << 1 << "Display images for 30 seconds";
        QTest::newRow("home from the top") << Qt::Key_Home << 30 << "Display images for 1 second";
    }
    void labelFollowsTheSlider() {
        QFETCH(Qt::Key, key);
        QFETCH(int, start);
        QFETCH(QString, label);
        world->settings->write("opts", "TimerSecs", QString::number(start));
        frmOptions& dialog = this->dialog();
        activate(dialog);
        dialog.tbsOptions->setCurrentIndex(1);
        QTest::keyClick(dialog.TimerSecs, key);
        QCOMPARE(dialog.lblTimerSecs->text(), label);
    }

    void labelFollowsADrag() {
        frmOptions& dialog = this->dialog();
        dialog.show();
        activate(dialog);
        dialog.tbsOptions->setCurrentIndex(1);
        QSlider* slider = dialog.TimerSecs;
        slider->setSliderDown(true);
        slider->setSliderPosition(17);
        QCOMPARE(dialog.lblTimerSecs->text(), QStringLiteral("Display images for 17 seconds"));
        slider->setSliderDown(false);
    }

    void applyStoresBothAndStaysOpen() {
        flag = QStringLiteral("0");
        frmOptions& dialog = this->dialog();
        dialog.show();
        activate(dialog);
        dialog.TimerSecs->setValue(12);
        dialog.chkSavePath->setChecked(true);
        QTest::mouseClick(dialog.cmdApply, Qt::LeftButton);
        QCOMPARE(world->stored("opts", "TimerSecs"), QStringLiteral("12"));
        QCOMPARE(world->stored("opts", "SavePath"), QStringLiteral("1"));
        // The explorer's flag becomes the number, not the text.
        QCOMPARE(flag.typeId(), QMetaType::Int);
        QCOMPARE(flag.toInt(), 1);
        QVERIFY(dialog.isVisible());

        dialog.chkSavePath->setChecked(false);
        dialog.TimerSecs->setValue(1);
        dialog.cmdApply_Click();
        QCOMPARE(world->stored("opts", "TimerSecs"), QStringLiteral("1"));
        QCOMPARE(world->stored("opts", "SavePath"), QStringLiteral("0"));
        QCOMPARE(flag, QVariant(0));
    }

    void okAppliesClosesAndTheNextUseStartsAfresh() {
        flag = QString();
        Form<frmOptions> form([this] { return make(); });
        frmOptions* first = form.show();
        activate(*first);
        first->tbsOptions->setCurrentIndex(1);
        first->TimerSecs->setValue(9);
        first->chkSavePath->setChecked(true);
        QTest::mouseClick(first->cmdOK, Qt::LeftButton);
        QCOMPARE(world->stored("opts", "TimerSecs"), QStringLiteral("9"));
        QCOMPARE(world->stored("opts", "SavePath"), QStringLiteral("1"));
        QCOMPARE(flag, QVariant(1));
        QTRY_VERIFY(!form.isLoaded());

        frmOptions* second = form.show();
        activate(*second);
        QCOMPARE(second->TimerSecs->value(), 9);
        QVERIFY(second->chkSavePath->isChecked());
        verifyPages(*second, 1);
    }

    void closingWithoutApplyStoresNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("Esc on the slider") << "escape";
        QTest::newRow("close box") << "closebox";
    }
    void closingWithoutApplyStoresNothing() {
        QFETCH(QString, how);
        flag = QStringLiteral("0");
        Form<frmOptions> form([this] { return make(); });
        frmOptions* dialog = form.show();
        activate(*dialog);
        dialog->tbsOptions->setCurrentIndex(1);
        dialog->TimerSecs->setValue(20);
        dialog->chkSavePath->setChecked(true);
        if (how == "cancel") {
            QTest::mouseClick(dialog->cmdCancel, Qt::LeftButton);
        } else if (how == "escape") {
            dialog->TimerSecs->setFocus();
            QTest::keyClick(dialog->TimerSecs, Qt::Key_Escape);
        } else {
            // What the window manager's close box sends.
            QCloseEvent close;
            QCoreApplication::sendEvent(dialog->windowHandle(), &close);
        }
        QTRY_VERIFY(!form.isLoaded());
        QCOMPARE(world->stored("opts", "TimerSecs"), QStringLiteral("<absent>"));
        QCOMPARE(world->stored("opts", "SavePath"), QStringLiteral("<absent>"));
        QCOMPARE(flag, QVariant(QStringLiteral("0")));
    }

    void enterPressesNoButton_data() {
        QTest::addColumn<QString>("focus");
        QTest::newRow("tab strip") << "tbsOptions";
        QTest::newRow("OK itself") << "cmdOK";
        QTest::newRow("check box") << "chkSavePath";
    }
    void enterPressesNoButton() {
        QFETCH(QString, focus);
        Form<frmOptions> form([this] { return make(); });
        frmOptions* dialog = form.show();
        activate(*dialog);
        QWidget* target = dialog->findChild<QWidget*>(focus);
        QVERIFY(target);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form.isLoaded());
        QCOMPARE(world->stored("opts", "TimerSecs"), QStringLiteral("<absent>"));
    }

    void ctrlTabMovesToTheNextTab_data() {
        QTest::addColumn<int>("startTab");
        QTest::addColumn<QString>("receiver");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("tab");
        const int ctrl = Qt::ControlModifier;
        const int ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
        QTest::newRow("Desktop to Slideshow") << 1 << "tbsOptions" << int(Qt::Key_Tab) << ctrl << 2;
        QTest::newRow("Slideshow wraps to Desktop")
            << 2 << "tbsOptions" << int(Qt::Key_Tab) << ctrl << 1;
        // The press passes the slider, its page and the dialog: one move only.
        QTest::newRow("from the slider") << 2 << "TimerSecs" << int(Qt::Key_Tab) << ctrl << 1;
        QTest::newRow("from the check box") << 1 << "chkSavePath" << int(Qt::Key_Tab) << ctrl << 2;
        QTest::newRow("sent to the dialog") << 1 << "" << int(Qt::Key_Tab) << ctrl << 2;
        QTest::newRow("Ctrl+Shift+Tab: nothing")
            << 1 << "tbsOptions" << int(Qt::Key_Backtab) << ctrlShift << 1;
        QTest::newRow("Ctrl+Shift+Tab on Slideshow: nothing")
            << 2 << "TimerSecs" << int(Qt::Key_Backtab) << ctrlShift << 2;
        QTest::newRow("Tab alone: nothing") << 1 << "tbsOptions" << int(Qt::Key_Tab) << 0 << 1;
        QTest::newRow("Alt+Ctrl+Tab: nothing") << 1 << "tbsOptions" << int(Qt::Key_Tab)
                                               << int(Qt::ControlModifier | Qt::AltModifier) << 1;
    }
    void ctrlTabMovesToTheNextTab() {
        QFETCH(int, startTab);
        QFETCH(QString, receiver);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, tab);
        frmOptions& dialog = this->dialog();
        dialog.show();
        activate(dialog);
        dialog.tbsOptions->setCurrentIndex(startTab - 1);
        QWidget* target = receiver.isEmpty() ? &dialog : dialog.findChild<QWidget*>(receiver);
        QVERIFY(target);
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        verifyPages(dialog, tab);
    }

    void tabClickArrangesPages() {
        frmOptions& dialog = this->dialog();
        dialog.show();
        verifyPages(dialog, 1);
        const QTabBar* strip = dialog.tbsOptions;
        QTest::mouseClick(dialog.tbsOptions, Qt::LeftButton, {}, strip->tabRect(1).center());
        verifyPages(dialog, 2);
        // The slider's page keeps its width and height where it is shown.
        QCOMPARE(dialog.picOptions.at(1)->size(), twipsRect(0, 0, 5685, 1260).size());
    }

    // Activation rereads the stored values, dropping changes not applied;
    // Qt activates the dialog also when the user comes back from another
    // application, and only a return from one of the program's own windows
    // rereads them.
    void comingBackKeepsOrDiscardsUnappliedChanges_data() {
        QTest::addColumn<QString>("away");
        QTest::addColumn<bool>("kept");
        QTest::newRow("the explorer") << "explorer" << false;
        QTest::newRow("another application") << "elsewhere" << true;
        QTest::newRow("another application, then the explorer") << "elsewhere explorer" << false;
        QTest::newRow("the explorer, then another application") << "explorer elsewhere" << false;
    }
    void comingBackKeepsOrDiscardsUnappliedChanges() {
        QFETCH(QString, away);
        QFETCH(bool, kept);
        world->settings->write("opts", "TimerSecs", "5");
        flag = QStringLiteral("1");
        QWidget explorer;
        explorer.show();
        // A window of no widget: the widgets see no active window of the
        // program, as when another application has the focus.
        QWindow elsewhere;
        elsewhere.show();
        frmOptions& dialog = this->dialog();
        dialog.show();
        dialog.activateWindow();
        QTRY_VERIFY(dialog.isActiveWindow());
        QCOMPARE(dialog.TimerSecs->value(), 5);
        dialog.tbsOptions->setCurrentIndex(1);
        dialog.TimerSecs->setValue(22);
        dialog.chkSavePath->setChecked(false);

        for (const QString& step : away.split(' ')) {
            if (step == "elsewhere") {
                elsewhere.requestActivate();
                QTRY_COMPARE(QGuiApplication::focusWindow(), &elsewhere);
                QVERIFY(!QApplication::activeWindow());
            } else {
                explorer.activateWindow();
                QTRY_VERIFY(explorer.isActiveWindow());
            }
        }
        dialog.activateWindow();
        QTRY_VERIFY(dialog.isActiveWindow());
        QCOMPARE(dialog.TimerSecs->value(), kept ? 22 : 5);
        QCOMPARE(dialog.lblTimerSecs->text(), kept
                                                  ? QStringLiteral("Display images for 22 seconds")
                                                  : QStringLiteral("Display images for 5 seconds"));
        QCOMPARE(dialog.chkSavePath->isChecked(), !kept);
        verifyPages(dialog, kept ? 2 : 1);
    }
};
KAVELO_TEST(OptionsTest)

#include "tst_options.moc"
