#include "app/CommandLine.h"
#include "app/modMain.h"
#include "explorer/frmExplorer.h"
#include "show/SlideListModel.h"
#include "support/Fakes.h"
#include "support/FileBytes.h"
#include "support/TestRegistry.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using Action = CommandLine::Action;
Q_DECLARE_METATYPE(CommandLine::Action)

namespace {
const QString doesNotExist = QStringLiteral("The slideshow file does not exist");

// The explorer after a normal start-up, with what the command line named.
struct StartedWith {
    explicit StartedWith(const QStringList& arguments, const QString& folder)
        : start(world.context()) {
        start.Main();
        start.openGivenFiles(parseCommandLine(arguments, folder));
    }
    QStringList entries() { return start.explorer.get()->slideList().entries(); }

    FakeWorld world;
    modMain start;
};

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The built program with no display and no home: informational options
// must neither need the one nor write into the other.
ProgramRun runProgram(const QStringList& arguments, const QString& home) {
    QProcess process;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KAVELO_PROGRAM), arguments);
    ProgramRun run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parsing_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("slideShowFile");
        QTest::addColumn<QStringList>("pictures");
        const QStringList none;
        QTest::newRow("nothing") << none << Action::Run << "" << none;
        QTest::newRow("relative slide show")
            << QStringList{"shows/a.SLD"} << Action::Run << "/start/shows/a.SLD" << none;
        QTest::newRow("lower-case extension")
            << QStringList{"/x/b.sld"} << Action::Run << "/x/b.sld" << none;
        QTest::newRow("pictures in order, cleaned")
            << QStringList{"b.jpg", "../up/a.tif", "/abs//c.bmp", "b.jpg"} << Action::Run << ""
            << QStringList{"/start/b.jpg", "/up/a.tif", "/abs/c.bmp", "/start/b.jpg"};
        QTest::newRow("mix: file loads, pictures follow")
            << QStringList{"p.jpg", "s.Sld", "q.txt"} << Action::Run << "/start/s.Sld"
            << QStringList{"/start/p.jpg", "/start/q.txt"};
        QTest::newRow("after -- dashes are names")
            << QStringList{"--", "--help", "-x.sld"} << Action::Run << "/start/-x.sld"
            << QStringList{"/start/--help"};
        QTest::newRow("lone dash is a name")
            << QStringList{"-"} << Action::Run << "" << QStringList{"/start/-"};
        QTest::newRow("help") << QStringList{"--help"} << Action::Help << "" << none;
        QTest::newRow("short help beside files")
            << QStringList{"a.jpg", "-h", "s.sld"} << Action::Help << "" << none;
        QTest::newRow("version") << QStringList{"--version"} << Action::Version << "" << none;
        QTest::newRow("first informational wins")
            << QStringList{"-v", "--help"} << Action::Version << "" << none;
        QTest::newRow("unknown option")
            << QStringList{"a.jpg", "--fullscreen"} << Action::Error << "" << none;
        QTest::newRow("unknown beats help")
            << QStringList{"--help", "-q"} << Action::Error << "" << none;
        QTest::newRow("Qt's own options are not ours")
            << QStringList{"-style", "fusion"} << Action::Error << "" << none;
        QTest::newRow("two slide show files")
            << QStringList{"a.sld", "b.SLD"} << Action::Error << "" << none;
    }
    void parsing() {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(QString, slideShowFile);
        QFETCH(QStringList, pictures);
        const CommandLine command = parseCommandLine(arguments, QStringLiteral("/start"));
        QCOMPARE(command.action, action);
        QCOMPARE(command.error.isEmpty(), action != Action::Error);
        QCOMPARE(command.slideShowFile, slideShowFile);
        QCOMPARE(command.pictures, pictures);
    }

    void aSlideShowFileGoesThroughTheLoadRoutine() {
        QTemporaryDir folder;
        QVERIFY(writeBytes(folder.filePath("show.SLD"), "/p/one.jpg\r\n\r\n/p/two.tif\r\n"));
        StartedWith run({"show.SLD", "/p/three.bmp"}, folder.path());
        QCOMPARE(run.entries(), (QStringList{"/p/one.jpg", "", "/p/two.tif", "/p/three.bmp"}));
        QCOMPARE(run.start.explorer.get()->strSavePath, folder.filePath("show.SLD"));
        QVERIFY(run.world.prompter.messages.isEmpty());
        // The Load dialog offers the opened file next time, as after a Load.
        run.start.explorer.get()->cmdLoad_Click();
        QCOMPARE(run.world.fileDialog.offeredNames, QStringList{folder.filePath("show.SLD")});
    }

    void aMissingSlideShowFileSaysSoAndPicturesStillFollow() {
        QTemporaryDir folder;
        StartedWith run({"gone.sld", "a.jpg"}, folder.path());
        QCOMPARE(run.world.prompter.messages.size(), 1);
        QCOMPARE(run.world.prompter.messages.at(0).text, doesNotExist);
        QCOMPARE(run.world.prompter.messages.at(0).icon, MessageIcon::Stop);
        QCOMPARE(run.start.explorer.get()->strSavePath, folder.filePath("gone.sld"));
        QCOMPARE(run.entries(), QStringList{folder.filePath("a.jpg")});
    }

    void noArgumentsLeaveStartUpAsItWas() {
        StartedWith run({}, QStringLiteral("/"));
        QVERIFY(run.entries().isEmpty());
        QVERIFY(run.start.explorer.get()->strSavePath.isEmpty());
        QVERIFY(run.world.prompter.messages.isEmpty());
    }

    void theProgramAnswersWithoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "kavelo 1.0.0\n"
                                   << "";
        QTest::newRow("--help") << QStringList{"--help", "x.sld"} << 0 << "Usage: kavelo"
                                << "";
        QTest::newRow("unknown") << QStringList{"--bogus"} << 2 << ""
                                 << "kavelo: unknown option '--bogus'\nUsage: kavelo";
    }
    void theProgramAnswersWithoutADisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir home;
        const ProgramRun run = runProgram(arguments, home.path());
        QCOMPARE(run.exitCode, exitCode);
        // Empty text must stay empty; other text begins as given.
        QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.startsWith(out), qPrintable(run.out));
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.startsWith(err), qPrintable(run.err));
        // Nothing written: no settings file, no cache.
        QCOMPARE(
            QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList());
    }
};
KAVELO_TEST(CommandLineTest)

#include "tst_commandline.moc"
