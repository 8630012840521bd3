#include "about/frmAbout.h"
#include "app/frmSplash.h"
#include "app/modMain.h"
#include "explorer/frmExplorer.h"
#include "options/frmOptions.h"
#include "settings/SettingsConversions.h"
#include "support/Fakes.h"
#include "support/TestRegistry.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {
AppInfo version(int major, int minor, int revision, const QString& copyright) {
    AppInfo info = AppInfo::current();
    info.major = major;
    info.minor = minor;
    info.revision = revision;
    info.legalCopyright = copyright;
    return info;
}
} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void splashFillsItsLabelsAtLoad() {
        frmSplash splash(version(2, 10, 3, QStringLiteral("(c) Someone")));
        splash.Form_Load();
        QCOMPARE(splash.lblVersion->text(), QStringLiteral("Version 2.10.3"));
        QCOMPARE(splash.lblPlatform->text(), QStringLiteral("Win 95/98/NT"));
        QCOMPARE(splash.lblCompany->text(), QStringLiteral("Tessaly Software"));
        QCOMPARE(splash.lblCopyright->text(), QStringLiteral("(c) Someone"));
        QCOMPARE(splash.Label1->text(), QStringLiteral(" Kavelo"));
        QVERIFY(splash.lblWarning->text() != QStringLiteral("Warning"));
    }

    void zeroVersionAndEmptyCopyright() {
        frmSplash splash(version(0, 0, 0, QString()));
        splash.Form_Load();
        QCOMPARE(splash.lblVersion->text(), QStringLiteral("Version 0.0.0"));
        QCOMPARE(splash.lblCopyright->text(), QString());
    }

    void thisReleaseIsVersion100() {
        QCOMPARE(versionText(AppInfo::current()), QStringLiteral("1.0.0"));
        QCOMPARE(AppInfo::current().title, QStringLiteral("Vantrel"));
    }

    void versionAndPlatformSizeThemselvesOthersKeepTheirPlace() {
        frmSplash splash(version(2, 10, 3, QStringLiteral("x")));
        const QRect version = splash.lblVersion->geometry();
        const QRect platform = splash.lblPlatform->geometry();
        const QRect company = splash.lblCompany->geometry();
        splash.Form_Load();
        QCOMPARE(splash.lblVersion->width(), splash.lblVersion->sizeHint().width());
        QCOMPARE(splash.lblPlatform->width(), splash.lblPlatform->sizeHint().width());
        QCOMPARE(splash.lblVersion->geometry().right(), version.right());
        QCOMPARE(splash.lblPlatform->geometry().right(), platform.right());
        QCOMPARE(splash.lblVersion->y(), version.y());
        QCOMPARE(splash.lblCompany->geometry(), company);
        QCOMPARE(splash.size(), QSize(492, 283));
        QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    }

    void aKeyThatYieldsACharacterClosesTheSplash_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("closes");
        QTest::newRow("letter") << int(Qt::Key_A) << "a" << true;
        QTest::newRow("escape") << int(Qt::Key_Escape) << "\x1b" << true;
        QTest::newRow("ctrl+c") << int(Qt::Key_C) << "\x03" << true;
        QTest::newRow("shift alone") << int(Qt::Key_Shift) << "" << false;
        QTest::newRow("arrow") << int(Qt::Key_Left) << "" << false;
        QTest::newRow("function key") << int(Qt::Key_F5) << "" << false;
    }
    void aKeyThatYieldsACharacterClosesTheSplash() {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(bool, closes);
        FakeWorld world;
        modMain start(world.context());
        frmSplash* splash = start.splash.show();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(splash, &press);
        QCOMPARE(start.splash.isLoaded(), !closes);
        // A later unload, as start-up does, changes nothing and re-creates nothing.
        start.splash.unload();
        start.splash.unload();
        QVERIFY(!start.splash.isLoaded());
    }

    void mainShowsTheExplorerAndTakesTheSplashDown() {
        FakeWorld world;
        modMain start(world.context());
        start.Main();
        QVERIFY(!start.splash.isLoaded());
        QVERIFY(start.explorer.isLoaded());
        QVERIFY(start.explorer.get()->isVisible());
        QCOMPARE(start.explorer.get()->windowTitle(), QStringLiteral("Kavelo - Explorer"));
        QCOMPARE(world.programEnd.calls, 0);
    }

    // A returning user's stored flag, as Options shows it at its first
    // activation after a real start, and what OK then keeps.
    void optionsShowTheFlagTheExplorerStartedWith_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("checked");
        QTest::newRow("on") << "1" << true;
        QTest::newRow("off") << "0" << false;
        QTest::newRow("other number") << "2" << false;
        QTest::newRow("empty") << "" << false;
    }
    void optionsShowTheFlagTheExplorerStartedWith() {
        QFETCH(QString, stored);
        QFETCH(bool, checked);
        FakeWorld world;
        world.settings->write("opts", "SavePath", stored);
        modMain start(world.context());
        start.Main();
        frmExplorer* explorer = start.explorer.get();
        explorer->mnuOpts->trigger();
        frmOptions* options = explorer->optionsForm.get();
        QVERIFY(options && options->isVisible());
        QEvent activation(QEvent::WindowActivate);
        QCoreApplication::sendEvent(options, &activation);
        QCOMPARE(options->chkSavePath->isChecked(), checked);

        options->cmdOK->click();
        QCOMPARE(world.stored("opts", "SavePath"), QString(checked ? "1" : "0"));
        QCOMPARE(isSavePathOn(explorer->intSavePath), checked);
    }

    // The four ways a run ends, with remembering on.
    void endings_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("stores");
        QTest::newRow("exit button") << "button" << true;
        QTest::newRow("close box") << "close" << true;
        QTest::newRow("file menu exit") << "menu" << false;
    }
    void endings() {
        QFETCH(QString, how);
        QFETCH(bool, stores);
        FakeWorld world;
        world.settings->write("opts", "SavePath", "1");
        modMain start(world.context());
        start.Main();
        frmExplorer* explorer = start.explorer.get();
        if (how == QLatin1String("button"))
            explorer->btnExit->click();
        else if (how == QLatin1String("close"))
            explorer->close();
        else
            explorer->Exit->trigger();
        QCOMPARE(world.programEnd.calls, 1);
        QCOMPARE(world.stored("paths", "Dir") != QLatin1String("<absent>"), stores);
        QCOMPARE(world.stored("paths", "Drive") != QLatin1String("<absent>"), stores);
    }

    // Text on the boxes' fixed white keeps the scheme's button text colour
    // only where it reads there; a dark scheme's light text becomes black.
    void textOnWhiteReadsUnderEveryScheme_data() {
        QTest::addColumn<QColor>("scheme");
        QTest::addColumn<QColor>("shown");
        QTest::newRow("standard scheme") << QColor(Qt::black) << QColor(Qt::black);
        QTest::newRow("dark navy text") << QColor(0, 0, 128) << QColor(0, 0, 128);
        QTest::newRow("dark scheme") << QColor(238, 238, 238) << QColor(Qt::black);
        QTest::newRow("mid grey") << QColor(150, 150, 150) << QColor(Qt::black);
    }
    void textOnWhiteReadsUnderEveryScheme() {
        QFETCH(QColor, scheme);
        QFETCH(QColor, shown);
        const QPalette standard = QApplication::palette();
        QPalette dark = standard;
        dark.setColor(QPalette::ButtonText, scheme);
        dark.setColor(QPalette::WindowText, scheme);
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::Button, QColor(50, 50, 50));
        QApplication::setPalette(dark);
        FakeWorld world;
        frmAbout box(world.context());
        frmSplash splash(world.context().info);
        QApplication::setPalette(standard);
        const QList<const QLabel*> onWhite{box.Label1,         box.Label2,        splash.lblVersion,
                                           splash.lblPlatform, splash.lblWarning, splash.lblCompany,
                                           splash.lblCopyright};
        for (const QLabel* label : onWhite)
            QCOMPARE(label->palette().color(QPalette::WindowText), shown);
        QCOMPARE(box.palette().color(QPalette::Window), QColor(Qt::white));
    }
};
KAVELO_TEST(StartupTest)

#include "tst_startup.moc"
