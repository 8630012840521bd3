#include "BenchShow.h"
#include "BenchSupport.h"
#include "FormatPictures.h"
#include "ShowPictures.h"
#include "picture/sandbox/DecodeHelperPool.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>
#include <cstdio>
#include <cstring>

// Each topic's benchmarks; every one prints its own figures.
void benchColour();
void benchFolders();
void benchFormats(const QString& folder, const QString& only);
void benchPictures();
void benchHelper(int rounds);
void benchPlayer();
void benchSlideFile();
int benchDecodeOne(const QString& path);
void benchX11Burst(const QString& pictureFolder, int rounds);

namespace {
// The show section runs once for each of these screens, each in a process
// of its own, since a process has its screen from the start.
const char* const showScreens[] = {"1920x1080", "3840x2160"};

// The value of --screen WxH among the arguments, read before QApplication
// exists; empty when not given.
QByteArray screenArgument(int argc, char* argv[]) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--screen") == 0)
            return argv[i + 1];
    return {};
}

// The offscreen platform's screen is 800 x 600 unless told otherwise; the
// figures are meant for a desktop of the given size (1920 x 1080 unless
// --screen says), where the decode bound and the player's window are what
// a user gets. Done before QApplication exists, while the process has one
// thread.
void giveOffscreenAScreen(QTemporaryFile& config, const QByteArray& size) {
    if (qEnvironmentVariable("QT_QPA_PLATFORM") != QStringLiteral("offscreen") || !config.open())
        return;
    int width = 1920;
    int height = 1080;
    if (!size.isEmpty() && std::sscanf(size.constData(), "%dx%d", &width, &height) != 2) {
        width = 1920;
        height = 1080;
    }
    config.write(QStringLiteral(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": %1,
                     "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96,
                     "dpr": 1}]})")
                     .arg(width)
                     .arg(height)
                     .toLatin1());
    config.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
}

// The show section for each screen size, each in a child process run with
// the same options and --screen.
void benchShowOnEachScreen(const QStringList& options) {
    for (const char* screen : showScreens) {
        std::printf("== show at %s (a process of its own) ==\n", screen);
        std::fflush(stdout);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        // Plain offscreen, so that the child describes its own screen
        // rather than inheriting this process's.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    QStringList{QStringLiteral("show"), QStringLiteral("--screen"),
                                QString::fromLatin1(screen)} +
                        options);
        child.waitForFinished(-1);
    }
}
} // namespace

int main(int argc, char* argv[]) {
    QTemporaryFile screenConfig;
    const QByteArray screen = screenArgument(argc, argv);
    giveOffscreenAScreen(screenConfig, screen);
    QApplication app(argc, argv);
    // kavelo_bench --decode FILE: one decode of one file, for measuring
    // crafted files each in a process of its own.
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--decode"))
        return benchDecodeOne(arguments.at(2));

    // Decoded in the sandboxed helpers as the program decodes, unless
    // KAVELO_DECODE_IN_PROCESS=1 asks for the in-process path to compare.
    std::optional<DecodeHelperPool> helpers;
    if (qEnvironmentVariableIntValue("KAVELO_DECODE_IN_PROCESS") != 1) {
        helpers.emplace();
        DecodeHelperPool::install(&*helpers);
        // As the program starts them.
        helpers->startAhead(2);
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints Kavelo's performance figures. Sections: pictures, helper, folders, player, "
        "colour, slidefile, show; all of them when none is named. formats (HEIC, AVIF, WebP "
        "and PNG against their libraries' tools) runs only when named. show-pictures only makes "
        "the show's pictures and prints their folder. x11-burst (never run unless named) "
        "needs an X server and window manager: see bench/x11-burst.sh."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("section"), QStringLiteral("Sections to run."),
                                 QStringLiteral("[section...]"));
    const QCommandLineOption pictures(QStringLiteral("pictures"),
                                      QStringLiteral("Folder caching the show's pictures (default "
                                                     "$XDG_CACHE_HOME/kavelo-bench/show)."),
                                      QStringLiteral("folder"));
    const QCommandLineOption ticks(QStringLiteral("ticks"),
                                   QStringLiteral("Ticks of the timed show (default 100)."),
                                   QStringLiteral("count"), QStringLiteral("100"));
    const QCommandLineOption longShow(
        QStringLiteral("long-steps"),
        QStringLiteral("Steps of the show with bursts whose peak memory is read (default 300)."),
        QStringLiteral("count"), QStringLiteral("300"));
    const QCommandLineOption screenSize(
        QStringLiteral("screen"),
        QStringLiteral("The offscreen screen's size, WxH; without it the show section runs at "
                       "1920x1080 and at 3840x2160, the other sections at 1920x1080."),
        QStringLiteral("size"));
    const QCommandLineOption brief(
        QStringLiteral("brief"),
        QStringLiteral("The show section prints only the prepared steps, the bursts and the peak "
                       "memory of the show with bursts."));
    const QCommandLineOption rounds(
        QStringLiteral("rounds"),
        QStringLiteral("Decodes of each file in each way in the helper section (default 7)."),
        QStringLiteral("count"), QStringLiteral("7"));
    const QCommandLineOption only(
        QStringLiteral("only"),
        QStringLiteral("The formats section times only the rows whose file or tool names this."),
        QStringLiteral("text"));
    const QCommandLineOption formats(
        QStringLiteral("formats"),
        QStringLiteral("The show section steps through HEIC, AVIF, WebP and PNG pictures too."));
    const QCommandLineOption bursts(
        QStringLiteral("bursts"),
        QStringLiteral("Bursts of the x11-burst section, whose medians it prints (default 5)."),
        QStringLiteral("count"), QStringLiteral("5"));
    parser.addOptions(
        {pictures, ticks, longShow, screenSize, brief, rounds, only, formats, bursts});
    parser.process(app);

    const QString pictureFolder = showPictureFolder(parser.value(pictures));
    QStringList sections = parser.positionalArguments();
    if (sections.isEmpty())
        sections = {QStringLiteral("pictures"), QStringLiteral("helper"),
                    QStringLiteral("folders"),  QStringLiteral("player"),
                    QStringLiteral("colour"),   QStringLiteral("slidefile"),
                    QStringLiteral("show")};
    for (const QString& section : std::as_const(sections)) {
        if (section == QStringLiteral("pictures"))
            benchPictures();
        else if (section == QStringLiteral("helper"))
            benchHelper(parser.value(rounds).toInt());
        else if (section == QStringLiteral("formats"))
            benchFormats(formatPictureFolder({}), parser.value(only));
        else if (section == QStringLiteral("folders"))
            benchFolders();
        else if (section == QStringLiteral("player"))
            benchPlayer();
        else if (section == QStringLiteral("colour"))
            benchColour();
        else if (section == QStringLiteral("slidefile"))
            benchSlideFile();
        else if (section == QStringLiteral("show-pictures"))
            // Only makes the show's pictures, for scripts that use them.
            std::printf("%s\n",
                        ensureShowPictures(pictureFolder).ok ? qPrintable(pictureFolder) : "");
        else if (section == QStringLiteral("show") && screen.isEmpty())
            benchShowOnEachScreen(
                QStringList{QStringLiteral("--pictures"), pictureFolder, QStringLiteral("--ticks"),
                            parser.value(ticks), QStringLiteral("--long-steps"),
                            parser.value(longShow)} +
                (parser.isSet(brief) ? QStringList{QStringLiteral("--brief")} : QStringList{}) +
                (parser.isSet(formats) ? QStringList{QStringLiteral("--formats")} : QStringList{}));
        else if (section == QStringLiteral("x11-burst"))
            benchX11Burst(pictureFolder, parser.value(bursts).toInt());
        else if (section == QStringLiteral("show"))
            benchShow({pictureFolder, parser.value(ticks).toInt(), parser.value(longShow).toInt(),
                       parser.isSet(brief), parser.isSet(formats)});
        else
            std::printf("unknown section %s\n", qPrintable(section));
        std::fflush(stdout);
    }
    if (helpers) {
        // Their memory is not this process's: the peak of each, apart.
        const QList<pid_t> pids = helpers->helperPids();
        for (const pid_t pid : pids)
            std::printf("decode helper %d: peak memory %.0f MB\n", int(pid),
                        kbToMb(peakResidentKbOf(pid)));
        if (helpers->unavailable())
            std::printf("decode helpers unavailable: decoded in process\n");
        DecodeHelperPool::install(nullptr);
    }
    return 0;
}
