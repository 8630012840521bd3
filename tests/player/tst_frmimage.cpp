#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "show/SlideStepper.h"
#include "support/PictureFiles.h"
#include "support/PlayerFixture.h"
#include "support/TestRegistry.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <memory>
#include <vector>

namespace {
const QString badMessage = QStringLiteral("Format Not supported. Unable to open picture file.");

// The window's caption at each paint of its picture that shows a new one,
// and when that paint began.
class CaptionAtPaint final : public QObject {
public:
    explicit CaptionAtPaint(frmImage& window)
        : window_(window) {
        window.SlideImage->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        const QString caption = window_.windowTitle();
        if (event->type() == QEvent::Paint && (captions.isEmpty() || captions.last() != caption)) {
            captions.append(caption);
            at.push_back(std::chrono::steady_clock::now());
        }
        return false;
    }
    QStringList captions;
    std::vector<std::chrono::steady_clock::time_point> at;

private:
    frmImage& window_;
};
} // namespace

class PlayerWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString a, b, c, d, e, big, huge, bad;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir.isValid());
        const QDir folder(dir.path());
        a = writePicture(folder, QStringLiteral("a.jpg"), {400, 300});
        b = writePicture(folder, QStringLiteral("b.bmp"), {320, 200});
        c = writePicture(folder, QStringLiteral("c.tif"), {200, 100});
        d = writePicture(folder, QStringLiteral("d.jpg"), {100, 100});
        e = writePicture(folder, QStringLiteral("e.bmp"), {64, 48});
        big = writePicture(folder, QStringLiteral("big.jpg"), {2000, 1500});
        huge = writePicture(folder, QStringLiteral("huge.jpg"), {50000, 8});
        bad = writeGarbage(folder, QStringLiteral("bad.jpg"));
        writePicture(folder, QStringLiteral("photo.txt"), {50, 50}, "jpg");
        writePicture(folder, QStringLiteral("photo.jpg.old"), {50, 50}, "jpg");
        writePicture(folder, QStringLiteral("photo"), {50, 50}, "jpg");
        QVERIFY(folder.mkdir(QStringLiteral("folder.jpg")));
    }

    void loadReadsTheDisplayTime_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("interval");
        QTest::newRow("absent") << QString() << 600;
        QTest::newRow("1") << "1" << 600;
        QTest::newRow("50") << "50" << 30000;
        QTest::newRow("54 is the largest that fits") << "54" << 32400;
        QTest::newRow("55 overflows") << "55" << 600;
        QTest::newRow("0") << "0" << 600;
        QTest::newRow("negative") << "-3" << 600;
        QTest::newRow("not a number") << "soon" << 600;
    }
    void loadReadsTheDisplayTime() {
        QFETCH(QString, stored);
        QFETCH(int, interval);
        PlayerFixture player({a});
        if (!stored.isNull())
            player.world.settings->write(QStringLiteral("opts"), QStringLiteral("TimerSecs"),
                                         stored);
        player.state.Direction = SlideStepper::Backwards;
        frmImage& window = player.open();
        QCOMPARE(window.Timer1->interval(), interval);
        QVERIFY(window.Timer1->isActive());
        QCOMPARE(player.state.Direction, SlideStepper::Forwards);
        QCOMPARE(window.SlideImage->backColor(), QColor(Qt::black));
        // Nothing is presented before the first tick.
        QCOMPARE(player.caption(), QStringLiteral("Image"));
        QVERIFY(window.isMaximized());
    }

    void keypadChangesThePaceWithinBounds_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("interval");
        QTest::newRow("+ from 49") << "49" << int(Qt::Key_Plus) << 50 << 30000;
        QTest::newRow("+ at 50 stays") << "50" << int(Qt::Key_Plus) << 50 << 30000;
        QTest::newRow("+ at 54 stays") << "54" << int(Qt::Key_Plus) << 54 << 32400;
        QTest::newRow("- from 2") << "2" << int(Qt::Key_Minus) << 1 << 600;
        QTest::newRow("- at 1 stays") << "1" << int(Qt::Key_Minus) << 1 << 600;
    }
    void keypadChangesThePaceWithinBounds() {
        QFETCH(QString, stored);
        QFETCH(int, key);
        PlayerFixture player({a});
        player.world.settings->write(QStringLiteral("opts"), QStringLiteral("TimerSecs"), stored);
        frmImage& window = player.open();
        // Also at a bound the interval is applied again.
        window.Timer1->setInterval(1234);
        player.key(Qt::Key(key), Qt::KeypadModifier);
        QTEST(int(window.Seconds), "seconds");
        QTEST(window.Timer1->interval(), "interval");
        QVERIFY(window.Timer1->isActive());
        // The main keyboard's + and - are not the keypad's.
        window.Timer1->setInterval(1234);
        player.key(Qt::Key(key));
        QCOMPARE(window.Timer1->interval(), 1234);
        // Nor is the pace stored.
        QCOMPARE(player.world.stored(QStringLiteral("opts"), QStringLiteral("TimerSecs")), stored);
    }

    void stepsWrapAroundBothWays() {
        PlayerFixture player({a, b, c});
        player.open();
        QStringList captions;
        for (int i = 0; i < 4; ++i) {
            player.key(Qt::Key_Return);
            captions.append(player.caption());
        }
        QCOMPARE(captions, (QStringList{playerCaption(a, "400x300", "Forwards"),
                                        playerCaption(b, "320x200", "Forwards"),
                                        playerCaption(c, "200x100", "Forwards"),
                                        playerCaption(a, "400x300", "Forwards")}));
        QCOMPARE(player.window->PictureFile, a);
        player.state.Direction = SlideStepper::Backwards;
        captions.clear();
        for (int i = 0; i < 4; ++i) {
            player.window->ShowNextSlide();
            captions.append(player.caption());
        }
        QCOMPARE(captions, (QStringList{playerCaption(b, "320x200", "Backwards"),
                                        playerCaption(a, "400x300", "Backwards"),
                                        playerCaption(c, "200x100", "Backwards"),
                                        playerCaption(b, "320x200", "Backwards")}));
        QVERIFY(player.world.prompter.messages.isEmpty());
    }

    // Forwards through five pictures with the third on screen: Tab shows the
    // fourth with the new direction word, and the ticks then walk back.
    void tabTurnsTheShow() {
        PlayerFixture player({a, b, c, d, e});
        player.open();
        for (int i = 0; i < 3; ++i)
            player.window->ShowNextSlide();
        QCOMPARE(player.caption(), playerCaption(c, "200x100", "Forwards"));
        player.key(Qt::Key_Tab);
        QCOMPARE(player.caption(), playerCaption(d, "100x100", "Backwards"));
        QStringList paths;
        for (int i = 0; i < 4; ++i) {
            player.window->Timer1_Timer();
            paths.append(player.window->PictureFile);
        }
        QCOMPARE(paths, (QStringList{c, b, a, e}));
    }

    void tabTwiceTurnsBack() {
        PlayerFixture player({a, b, c});
        player.open();
        player.key(Qt::Key_Tab);
        QCOMPARE(player.caption(), playerCaption(a, "400x300", "Backwards"));
        player.key(Qt::Key_Tab);
        QCOMPARE(player.caption(), playerCaption(c, "200x100", "Forwards"));
        QCOMPARE(player.state.Direction, SlideStepper::Forwards);
        QCOMPARE(player.state.NextIndex, 0);
    }

    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("steps");
        const QString F = SlideStepper::Forwards;
        const QString B = SlideStepper::Backwards;
        const int none = Qt::NoModifier;
        const int keypad = Qt::KeypadModifier;
        QTest::newRow("Tab") << int(Qt::Key_Tab) << none << F << B << true;
        QTest::newRow("Tab while backwards") << int(Qt::Key_Tab) << none << B << F << true;
        QTest::newRow("Shift+Tab")
            << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << F << B << true;
        QTest::newRow("Ctrl+Tab") << int(Qt::Key_Tab) << int(Qt::ControlModifier) << F << B << true;
        QTest::newRow("5") << int(Qt::Key_5) << none << F << B << true;
        QTest::newRow("5 while backwards") << int(Qt::Key_5) << none << B << B << true;
        QTest::newRow("Shift+5") << int(Qt::Key_Percent) << int(Qt::ShiftModifier) << F << B
                                 << true;
        QTest::newRow("keypad 5") << int(Qt::Key_5) << keypad << F << F << false;
        QTest::newRow("Enter") << int(Qt::Key_Return) << none << B << B << true;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << keypad << F << F << true;
        QTest::newRow("Alt+Enter") << int(Qt::Key_Return) << int(Qt::AltModifier) << F << F << true;
        QTest::newRow("other key") << int(Qt::Key_Q) << none << F << F << false;
        QTest::newRow("6") << int(Qt::Key_6) << none << F << F << false;
    }
    void keys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(bool, steps);
        PlayerFixture player({a, b});
        frmImage& window = player.open();
        // Something to move the focus to, so that Qt would spend Tab on it.
        auto* focusable = new QPushButton(QStringLiteral("focus"), &window);
        focusable->show();
        player.state.Direction = before;
        player.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(player.state.Direction, after);
        QCOMPARE(player.caption(),
                 steps ? playerCaption(a, "400x300", qPrintable(after)) : "Image");
        // A step by key neither stops nor starts the timer.
        QVERIFY(window.Timer1->isActive());
        QCOMPARE(player.world.programEnd.calls, 0);
    }

    // The 5 key turns the show backwards on every layout, by its place: a
    // press as X11 delivers it on French (gives "(") and Czech (a letter).
    void theTopRowFiveOnOtherLayouts_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("scanCode");
        QTest::addColumn<QString>("after");
        QTest::newRow("French (") << int(Qt::Key_ParenLeft) << 14
                                  << QString(SlideStepper::Backwards);
        QTest::newRow("Czech letter") << 0x158 << 14 << QString(SlideStepper::Backwards);
        QTest::newRow("French % elsewhere")
            << int(Qt::Key_Percent) << 48 << QString(SlideStepper::Forwards);
    }
    void theTopRowFiveOnOtherLayouts() {
        QFETCH(int, key);
        QFETCH(int, scanCode);
        QFETCH(QString, after);
        PlayerFixture player({a, b});
        frmImage& window = player.open();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, quint32(scanCode), 0, 0);
        QCoreApplication::sendEvent(&window, &press);
        QCOMPARE(player.state.Direction, after);
    }

    void spacePausesAndEnterStepsWhilePaused() {
        PlayerFixture player({a, b});
        frmImage& window = player.open();
        player.key(Qt::Key_Space);
        QVERIFY(!window.Timer1->isActive());
        player.key(Qt::Key_Return);
        QCOMPARE(player.caption(), playerCaption(a, "400x300", "Forwards"));
        player.key(Qt::Key_Tab);
        QCOMPARE(player.caption(), playerCaption(b, "320x200", "Backwards"));
        QVERIFY(!window.Timer1->isActive());
        player.key(Qt::Key_Space);
        QVERIFY(window.Timer1->isActive());
        // Pausing leaves the picture alone.
        QCOMPARE(player.caption(), playerCaption(b, "320x200", "Backwards"));
    }

    void escapeEndsTheProgram() {
        PlayerFixture player({a});
        player.open();
        player.key(Qt::Key_Escape);
        QCOMPARE(player.world.programEnd.calls, 1);
        QCOMPARE(player.caption(), QStringLiteral("Image"));
    }

    // Keys queued while steps run, as when Enter is held: each step's
    // picture reaches the screen with its caption, none is skipped, and
    // each stays there a frame at least before the next is drawn over it.
    void queuedKeysEachPaintTheirPictureWithItsCaption() {
        PlayerFixture player({a, b, c, d});
        frmImage& window = player.open();
        window.Timer1->stop();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CaptionAtPaint painted(window);
        for (int i = 0; i < 3; ++i)
            QCoreApplication::postEvent(
                &window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
        QTRY_COMPARE(player.caption(), playerCaption(c, "200x100", "Forwards"));
        const qsizetype untitled = painted.captions.indexOf(QStringLiteral("Image"));
        if (untitled >= 0) {
            painted.captions.removeAt(untitled);
            painted.at.erase(painted.at.begin() + untitled);
        }
        QCOMPARE(painted.captions, (QStringList{playerCaption(a, "400x300", "Forwards"),
                                                playerCaption(b, "320x200", "Forwards"),
                                                playerCaption(c, "200x100", "Forwards")}));
        const auto frame = std::chrono::nanoseconds(qint64(1e9 / window.screen()->refreshRate()));
        for (size_t i = 1; i < painted.at.size(); ++i)
            QVERIFY2(painted.at[i] - painted.at[i - 1] >= frame,
                     qPrintable(QStringLiteral("picture %1 drawn over within a frame").arg(i)));
    }

    void ticksPresentOnePicturePerInterval() {
        PlayerFixture player({a, b});
        frmImage& window = player.open();
        QSignalSpy ticks(window.Timer1, &QTimer::timeout);
        QVERIFY(ticks.wait(2000));
        QCOMPARE(player.caption(), playerCaption(a, "400x300", "Forwards"));
        QVERIFY(ticks.wait(2000));
        QCOMPARE(player.caption(), playerCaption(b, "320x200", "Forwards"));
    }

    // Cameras name their files in capitals, and ".jpeg" and ".tiff" are as
    // common as the short names: all of them play.
    void cameraNamesPlay_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::newRow("DSC_0001.JPG") << "DSC_0001.JPG"
                                      << "jpg";
        QTest::newRow("IMG_1234.Jpeg") << "IMG_1234.Jpeg"
                                       << "jpg";
        QTest::newRow("SCAN.TIFF") << "SCAN.TIFF"
                                   << "tif";
        QTest::newRow("old.BMP") << "old.BMP"
                                 << "bmp";
    }
    void cameraNamesPlay() {
        QFETCH(QString, name);
        QFETCH(QString, type);
        const QString path =
            writePicture(QDir(dir.path()), name, {90, 60}, type.toLatin1().constData());
        PlayerFixture player({path, a});
        player.open();
        player.window->ShowNextSlide();
        QCOMPARE(player.caption(), playerCaption(path, "90x60", "Forwards"));
        QVERIFY(player.world.prompter.messages.isEmpty());
    }

    // Missing files, other extensions, no extension and a folder are passed
    // over silently within the one step.
    void unsupportedEntriesArePassedOver() {
        const QDir folder(dir.path());
        PlayerFixture player({folder.filePath(QStringLiteral("gone.jpg")),
                              folder.filePath(QStringLiteral("gone.JPG")),
                              folder.filePath(QStringLiteral("photo.txt")),
                              folder.filePath(QStringLiteral("photo.jpg.old")),
                              folder.filePath(QStringLiteral("photo")),
                              folder.filePath(QStringLiteral("folder.jpg")), QString(), c});
        player.open();
        player.window->ShowNextSlide();
        QCOMPARE(player.caption(), playerCaption(c, "200x100", "Forwards"));
        QCOMPARE(player.state.NextIndex, 0);
        QVERIFY(player.world.prompter.messages.isEmpty());
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        // Nothing left to show: the step ends, the picture stays, the show
        // goes on ticking.
        player.list.removeAt(7);
        player.window->ShowNextSlide();
        QCOMPARE(player.caption(), playerCaption(c, "200x100", "Forwards"));
        QVERIFY(player.world.prompter.messages.isEmpty());
        QVERIFY(player.window->Timer1->isActive());
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        player.list.clear();
        player.window->ShowNextSlide();
        QCOMPARE(player.caption(), playerCaption(c, "200x100", "Forwards"));
    }

    void unreadablePictureIsReportedAtEveryStep() {
        PlayerFixture player({a, bad, b});
        player.open();
        player.window->ShowNextSlide();
        player.window->ShowNextSlide();
        player.key(Qt::Key_Return);
        QCOMPARE(player.world.prompter.messages.size(), 2);
        for (const FakePrompter::Message& message : player.world.prompter.messages) {
            QCOMPARE(message.text, badMessage + bad);
            QCOMPARE(message.icon, MessageIcon::Stop);
            QVERIFY2(!message.hourglass, "the hourglass covered the message");
        }
        QCOMPARE(player.window->PictureFile, bad);
        QCOMPARE(player.state.NextIndex, 1);
        QCOMPARE(player.caption(), playerCaption(a, "400x300", "Forwards"));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        // Removed in the explorer, the entry is no longer tried.
        player.list.removeAt(1);
        player.window->ShowNextSlide();
        QCOMPARE(player.caption(), playerCaption(b, "320x200", "Forwards"));
        QCOMPARE(player.world.prompter.messages.size(), 2);
    }

    // A real message box runs an event loop of its own, in which the timer
    // goes on ticking; those ticks must not open more boxes on top.
    void ticksWhileAMessageIsOpenStartNoStep() {
        PlayerFixture player({bad, a});
        frmImage& window = player.open();
        window.Timer1->setInterval(10);
        int ticksSeen = 0;
        player.world.prompter.whileOpen = [&] {
            QSignalSpy ticks(window.Timer1, &QTimer::timeout);
            QVERIFY(ticks.wait(2000));
            QVERIFY(ticks.wait(2000));
            ticksSeen = int(ticks.size());
        };
        window.ShowNextSlide();
        window.Timer1->stop();
        QVERIFY(ticksSeen >= 2);
        QCOMPARE(player.world.prompter.messages.size(), 1);
        QCOMPARE(player.state.NextIndex, 0);
        QCOMPARE(player.caption(), QStringLiteral("Image"));
        // The guard is down again: the next step retries the entry.
        window.ShowNextSlide();
        QCOMPARE(player.world.prompter.messages.size(), 2);
    }

    void picturesAreFittedToTheWindow() {
        PlayerFixture player({a, big, huge});
        frmImage& window = player.open();
        // The window system maximizes the window on its own time.
        QTRY_COMPARE(window.frameGeometry(), window.screen()->availableGeometry());
        const QRect frame = window.frameGeometry();

        // Smaller than the window in HIMETRIC-as-twips: centred, the
        // extent taken as twips, 100 twips nearer the bottom right.
        window.ShowNextSlide();
        const QRect centred = window.SlideImage->geometry();
        QVERIFY2(qAbs(centred.width() - 10583 / 15) <= 1,
                 qPrintable(QString::number(centred.width())));
        QVERIFY(qAbs(centred.height() - 7937 / 15) <= 1);
        QVERIFY(qAbs(centred.left() * 2 + centred.width() - (frame.width() + 7)) <= 2);
        QVERIFY(qAbs(centred.top() * 2 + centred.height() - (frame.height() + 7)) <= 2);

        // Larger: the full window width, below a band of 100 twips.
        window.ShowNextSlide();
        QCOMPARE(player.caption(), playerCaption(big, "2000x1500", "Forwards"));
        QCOMPARE(window.SlideImage->geometry(), QRect(0, 7, frame.width(), frame.height() - 7));

        // Wider than 16 bits of pixels: captioned with its true size.
        window.ShowNextSlide();
        QCOMPARE(player.caption(), playerCaption(huge, "50000x8", "Forwards"));
        QVERIFY(player.world.prompter.messages.isEmpty());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }
};
KAVELO_TEST(PlayerWindowTest)

#include "tst_frmimage.moc"
