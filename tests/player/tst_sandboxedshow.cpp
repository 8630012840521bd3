#include "picture/sandbox/DecodeHelperPool.h"
#include "support/PictureFiles.h"
#include "support/PlayerFixture.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// The player as the program runs it, every picture decoded in the helper
// processes, with a helper that crashes on every BMP.
class SandboxedShowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private Q_SLOTS:
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
