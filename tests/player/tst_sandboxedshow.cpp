#include "picture/sandbox/DecodeHelperPool.h"
#include "support/FormatPictures.h"
#include "support/PictureFiles.h"
#include "support/PlayerFixture.h"
#include "support/TestRegistry.h"
#include "ui/PictureView.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// The player as the program runs it, every picture decoded in the helper
// processes: each format played, and a helper that crashes on every BMP.
class SandboxedShowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private Q_SLOTS:
    // Each format from its own encoder, played after a JPEG: the caption
    // names it with its upright size and the screen shows its pixels the
    // right way up.
    void everyFormatPlays_data() { addFormatRows(); }
    void everyFormatPlays() {
        QFETCH(QString, name);
        QFETCH(QString, format);
        QFETCH(QSize, size);
        const QDir folder(dir.path());
        const QString made = writeInFormat(folder, name, format, testPattern(size));
        if (made == toolMissing)
            QSKIP("the format's encoder is not installed");
        QVERIFY2(made.isEmpty(), qPrintable(made));
        const QString first = writePicture(folder, "first.jpg", {400, 300});
        const QString path = folder.filePath(name);
        const SandboxedDecodes helpers;
        PlayerFixture show({first, path});
        frmImage& window = show.openStill();
        show.step();
        show.step();
        const QByteArray upright =
            QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toLatin1();
        QCOMPARE(show.caption(), playerCaption(path, upright.constData(), "Forwards"));
        QCOMPARE(show.messages(), 0);
        QCOMPARE(window.PictureFile, path);
        QCOMPARE(window.SlideImage->pictureSize(), size);
        const QImage shown = shownPattern(*window.SlideImage);
        QCOMPARE(patternMismatch(shown, true), QString());
        QVERIFY2(qAbs(shown.width() * size.height() - shown.height() * size.width()) <=
                     shown.width() + shown.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height())));
        QVERIFY(helpers.used());
    }

    void crashedHelperFailsOnlyItsPicture() {
        const QDir folder(dir.path());
        const QString a = writePicture(folder, "a.jpg", {400, 300});
        const QString b = writePicture(folder, "b.bmp", {320, 200});
        const QString c = writePicture(folder, "c.tif", {200, 100});
        qputenv("KAVELO_HELPER_FAULT", "crash-bmp");
        DecodeHelperPool::Options options;
        options.executable = QFileInfo(DecodeHelperPool::besideProgram()).absolutePath() +
                             QStringLiteral("/kavelo-decode-faulty");
        QList<pid_t> pids;
        {
            DecodeHelperPool helpers(options);
            DecodeHelperPool::install(&helpers);
            {
                PlayerFixture show({a, c, b});
                show.openStill();
                show.step();
                QCOMPARE(show.caption(), playerCaption(a, "400x300", "Forwards"));
                show.step();
                QCOMPARE(show.caption(), playerCaption(c, "200x100", "Forwards"));
                QCOMPARE(show.messages(), 0);
                // The usual message for a picture that cannot be shown, at
                // each step that tries it, each time from a new helper.
                for (int tries = 1; tries <= 3; ++tries) {
                    show.step();
                    QCOMPARE(show.messages(), tries);
                    QVERIFY(show.world.prompter.messages.last().text.startsWith(
                        QLatin1String("Format Not supported")));
                    QCOMPARE(show.state.NextIndex, 2);
                }
                QVERIFY(helpers.helperPids().size() <= options.size);
            }
            DecodeHelperPool::install(nullptr);
            QVERIFY(!helpers.unavailable());
            pids = helpers.startedPids();
            // The crashed ones replaced.
            QVERIFY(pids.size() > 1);
        }
        qunsetenv("KAVELO_HELPER_FAULT");
        for (const pid_t pid : std::as_const(pids))
            QVERIFY(::kill(pid, 0) != 0 && errno == ESRCH);
    }
};
KAVELO_TEST(SandboxedShowTest)

#include "tst_sandboxedshow.moc"
