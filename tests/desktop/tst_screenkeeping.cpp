#include "desktop/FakeSessionServices.h"
#include "desktop/PointerHider.h"
#include "explorer/frmExplorer.h"
#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "support/ExplorerFixture.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QWindow>

namespace {
// The explorer with pictures in its slide list; Slideshow opens the real
// player through the program's own wiring.
struct Explorer : SlideshowExplorer {
    using SlideshowExplorer::SlideshowExplorer;
    // The player, stepped by keys only.
    frmImage* clickSlideshowAndPause() {
        frmImage* player = clickSlideshow();
        player->Timer1->stop();
        return player;
    }
    void closePlayer() {
        window.imageForm.get()->close();
        // The closed window is deleted later.
        QTRY_VERIFY(!window.imageForm.isLoaded());
    }
};

QStringList writePictures(const QTemporaryDir& dir) {
    QStringList pictures;
    for (int i = 0; i < 3; ++i) {
        const QString path = dir.filePath(QStringLiteral("slide%1.jpg").arg(i));
        writeImage(path, testPattern(QSize(80 + 10 * i, 60)), "jpg");
        pictures.append(path);
    }
    return pictures;
}
} // namespace

// The screen stays on while the player is open: the session's services on
// a bus of the test's own record what the player asks of them.
class ScreenKeptOnTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QStringList pictures;

private Q_SLOTS:
    void initTestCase() {
        if (privateSessionBus().isEmpty())
            QSKIP("dbus-daemon could not be started");
        pictures = writePictures(dir);
    }

    void inhibitsWhileThePlayerIsOpen_data() {
        QTest::addColumn<bool>("screenSaver");
        QTest::addColumn<bool>("portal");
        QTest::addColumn<QStringList>("saverCalls");
        QTest::addColumn<QStringList>("portalCalls");
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/1/kavelo1");
        QTest::newRow("screen saver service")
            << true << true << QStringList{"Inhibit Kavelo", "UnInhibit 40"} << QStringList{};
        QTest::newRow("portal only")
            << false << true << QStringList{} << QStringList{"Inhibit 8", "Close " + request};
        QTest::newRow("neither") << false << false << QStringList{} << QStringList{};
    }
    void inhibitsWhileThePlayerIsOpen() {
        QFETCH(bool, screenSaver);
        QFETCH(bool, portal);
        QFETCH(QStringList, saverCalls);
        QFETCH(QStringList, portalCalls);
        FakeSessionServices services(screenSaver, portal);
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Kavelo"));
        Explorer explorer(pictures);
        frmImage* player = explorer.clickSlideshowAndPause();
        QTRY_COMPARE(services.screenSaver.calls, saverCalls.mid(0, 1));
        QTRY_COMPARE(services.portal.calls, portalCalls.mid(0, 1));
        // The show runs as before, whatever the session answered.
        QTest::keyClick(player, Qt::Key_Return);
        QCOMPARE(player->PictureFile, pictures.at(0));
        QVERIFY(explorer.world.prompter.messages.isEmpty());
        explorer.closePlayer();
        QTRY_COMPARE(services.screenSaver.calls, saverCalls);
        QTRY_COMPARE(services.portal.calls, portalCalls);
    }

    // Minimized nobody watches; shown again it is watched again.
    void minimizingReleases() {
        FakeSessionServices services(true, false);
        Explorer explorer(pictures);
        frmImage* player = explorer.clickSlideshow();
        QTRY_COMPARE(services.screenSaver.calls.size(), 1);
        player->setWindowState(Qt::WindowMinimized);
        QTRY_COMPARE(services.screenSaver.calls.value(1), QStringLiteral("UnInhibit 40"));
        player->setWindowState(Qt::WindowMaximized);
        QTRY_COMPARE(services.screenSaver.calls.value(2).left(7), QStringLiteral("Inhibit"));
        explorer.closePlayer();
        QTRY_COMPARE(services.screenSaver.calls.value(3), QStringLiteral("UnInhibit 41"));
    }

    // A service that has not answered holds up no step, and its answer,
    // come after the player closed, is given back at once.
    void aLateAnswerIsReleasedAtOnce() {
        FakeSessionServices services(true, true);
        services.screenSaver.hanging = true;
        Explorer explorer(pictures);
        frmImage* player = explorer.clickSlideshowAndPause();
        QTRY_COMPARE(services.screenSaver.calls.size(), 1);
        QTest::keyClick(player, Qt::Key_Return);
        QTest::keyClick(player, Qt::Key_Return);
        QCOMPARE(player->PictureFile, pictures.at(1));
        explorer.closePlayer();
        services.screenSaver.answerHeld(77);
        QTRY_COMPARE(
            services.screenSaver.calls,
            (QStringList{"Inhibit " + QGuiApplication::applicationDisplayName(), "UnInhibit 77"}));
        QVERIFY(services.portal.calls.isEmpty());
    }
};
KAVELO_TEST(ScreenKeptOnTest)

// The pointer hides over the resting show and comes back when moved.
class PointerOverTheShowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QStringList pictures;

    static Qt::CursorShape shape(const QWidget& widget) { return widget.cursor().shape(); }

private Q_SLOTS:
    void initTestCase() {
        // As the other class: the player's first use of the session bus
        // must find the test's own.
        privateSessionBus();
        pictures = writePictures(dir);
    }

    void hidesAfterRestAndReturnsOnMovement() {
        Explorer explorer(pictures);
        frmImage* player = explorer.clickSlideshow();
        QCOMPARE(shape(*player), Qt::ArrowCursor);
        QTRY_COMPARE(shape(*player), Qt::BlankCursor);
        // Windows of their own keep their pointer: the explorer, and a
        // dialog or message box opened over the show.
        QCOMPARE(shape(explorer.window), Qt::ArrowCursor);
        QDialog box(player);
        QCOMPARE(shape(box), Qt::ArrowCursor);
        QTest::mouseMove(player->windowHandle(), QPoint(30, 40));
        QCOMPARE(shape(*player), Qt::ArrowCursor);
        QTRY_COMPARE(shape(*player), Qt::BlankCursor);
    }

    void aKeyThatStepsHidesAtOnce_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("hides");
        QTest::newRow("Enter") << int(Qt::Key_Return) << true;
        QTest::newRow("Tab") << int(Qt::Key_Tab) << true;
        QTest::newRow("5") << int(Qt::Key_5) << true;
        QTest::newRow("Space") << int(Qt::Key_Space) << false;
        QTest::newRow("other key") << int(Qt::Key_Q) << false;
    }
    void aKeyThatStepsHidesAtOnce() {
        QFETCH(int, key);
        QFETCH(bool, hides);
        Explorer explorer(pictures);
        frmImage* player = explorer.clickSlideshow();
        QTest::mouseMove(player->windowHandle(), QPoint(50, 60));
        QTest::keyClick(player, Qt::Key(key));
        QCOMPARE(shape(*player), hides ? Qt::BlankCursor : Qt::ArrowCursor);
    }

    // Qt's own moves at an unchanged position (a widget resized under the
    // pointer) are not the user's.
    void aMoveWithoutMovementKeepsItHidden() {
        QWidget window;
        PointerHider hider(window, std::chrono::milliseconds(1));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseMove(window.windowHandle(), QPoint(5, 5));
        QTRY_VERIFY(hider.hidden());
        QTest::mouseMove(window.windowHandle(), QPoint(5, 5));
        QVERIFY(hider.hidden());
    }
};
KAVELO_TEST(PointerOverTheShowTest)

#include "tst_screenkeeping.moc"
