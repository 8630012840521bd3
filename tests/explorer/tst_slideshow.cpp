#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "show/SlideStepper.h"
#include "support/ExplorerFixture.h"
#include "support/PictureFiles.h"
#include "support/PlayerFixture.h"
#include "support/TestRegistry.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {
using Explorer = SlideshowExplorer;
} // namespace

class SlideShowButtonTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QStringList pictures;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir.isValid());
        const QDir folder(dir.path());
        for (int i = 0; i < 6; ++i)
            pictures.append(
                writePicture(folder, QStringLiteral("slide%1.jpg").arg(i), {100 + 10 * i, 100}));
    }

    void emptyListIsRefused() {
        Explorer explorer({});
        QCOMPARE(explorer.clickSlideshow(), nullptr);
        QCOMPARE(explorer.world.prompter.messages.size(), 1);
        QCOMPARE(explorer.world.prompter.messages.at(0).text,
                 QStringLiteral("You MUST select images before using Slideshow"));
        QCOMPARE(explorer.world.prompter.messages.at(0).icon, MessageIcon::Stop);
        QVERIFY(!explorer.window.imageForm.isLoaded());
    }

    void slideshowOpensThePlayerBesideTheExplorer() {
        Explorer explorer({pictures.at(0)});
        frmImage* player = explorer.clickSlideshow();
        QVERIFY(player);
        QVERIFY(player->isVisible());
        QVERIFY(player->isMaximized());
        QCOMPARE(player->parentWidget(), nullptr);
        QCOMPARE(player->windowTitle(), QStringLiteral("Image"));
        QVERIFY(player->Timer1->isActive());
        QVERIFY(explorer.window.isVisible());
        QVERIFY(explorer.world.prompter.messages.isEmpty());
        // A second click only brings the open player to the front.
        player->Timer1->stop();
        QCOMPARE(explorer.clickSlideshow(), player);
        QVERIFY(!player->Timer1->isActive());
    }

    // Closed after the fourth picture and opened again: the show goes on at
    // the fifth, forwards, at the pace now stored.
    void positionOutlastsTheWindow() {
        Explorer explorer(pictures);
        frmImage* player = explorer.clickSlideshow();
        for (int i = 0; i < 4; ++i)
            player->ShowNextSlide();
        QCOMPARE(player->PictureFile, pictures.at(3));
        player->Form_KeyDown(107, 0);
        QCOMPARE(player->Timer1->interval(), 1200);
        player->close();
        QTRY_VERIFY(!explorer.window.imageForm.isLoaded());

        explorer.world.settings->write(QStringLiteral("opts"), QStringLiteral("TimerSecs"),
                                       QStringLiteral("5"));
        player = explorer.clickSlideshow();
        QCOMPARE(player->Timer1->interval(), 3000);
        QCOMPARE(player->windowTitle(), QStringLiteral("Image"));
        player->ShowNextSlide();
        QCOMPARE(player->windowTitle(), playerCaption(pictures.at(4), "140x100", "Forwards"));
    }

    void reopeningGoesForwardsAgain() {
        Explorer explorer(pictures);
        frmImage* player = explorer.clickSlideshow();
        QTest::keyClick(player, Qt::Key_Tab);
        QCOMPARE(player->windowTitle(), playerCaption(pictures.at(0), "100x100", "Backwards"));
        player->close();
        QTRY_VERIFY(!explorer.window.imageForm.isLoaded());
        player = explorer.clickSlideshow();
        player->ShowNextSlide();
        QCOMPARE(player->windowTitle(), playerCaption(pictures.at(5), "150x100", "Forwards"));
        player->ShowNextSlide();
        QCOMPARE(player->PictureFile, pictures.at(0));
    }

    void listChangesInTheExplorerAreSeenAtTheNextStep() {
        Explorer explorer(pictures.mid(0, 3));
        frmImage* player = explorer.clickSlideshow();
        player->ShowNextSlide();
        player->ShowNextSlide();
        QCOMPARE(player->PictureFile, pictures.at(1));
        SlideListModel& list = explorer.window.slideList();
        list.removeAt(2);
        list.append(pictures.at(5));
        player->ShowNextSlide();
        QCOMPARE(player->PictureFile, pictures.at(5));
        // Shortened behind the position while the player was closed.
        player->ShowNextSlide();
        player->ShowNextSlide();
        player->close();
        QTRY_VERIFY(!explorer.window.imageForm.isLoaded());
        list.removeAt(2);
        list.removeAt(1);
        player = explorer.clickSlideshow();
        player->ShowNextSlide();
        QCOMPARE(player->PictureFile, pictures.at(0));
        QVERIFY(explorer.world.prompter.messages.isEmpty());
    }

    // Esc ends the run without the explorer's closing work: the location
    // is not remembered even though remembering is on.
    void escapeSkipsTheExplorersClosingWork() {
        Explorer explorer({pictures.at(0)});
        explorer.window.intSavePath = 1;
        frmImage* player = explorer.clickSlideshow();
        QTest::keyClick(player, Qt::Key_Escape);
        QCOMPARE(explorer.world.programEnd.calls, 1);
        QCOMPARE(explorer.world.stored(QStringLiteral("paths"), QStringLiteral("Drive")),
                 QStringLiteral("<absent>"));
        QCOMPARE(explorer.world.stored(QStringLiteral("paths"), QStringLiteral("Dir")),
                 QStringLiteral("<absent>"));
    }
};
KAVELO_TEST(SlideShowButtonTest)

#include "tst_slideshow.moc"
