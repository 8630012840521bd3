#include "BenchShow.h"
#include "ShowPictures.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>
#include <QTemporaryFile>
#include <cstdio>

// Each topic's benchmarks; every one prints its own figures.
void benchColour();
void benchFolders();
void benchPictures();
void benchPlayer();
void benchSlideFile();
int benchDecodeOne(const QString& path);

namespace {
// The offscreen platform's screen is 800 x 600 unless told otherwise; the
// figures are meant for a 1920 x 1080 desktop, where the decode bound and
// the player's window are what a user gets. Done before QApplication
// exists, while the process has one thread.
void giveOffscreenA1080pScreen(QTemporaryFile& config) {
    if (qEnvironmentVariable("QT_QPA_PLATFORM") != QStringLiteral("offscreen") || !config.open())
        return;
    config.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920,
                     "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96,
                     "dpr": 1}]})");
    config.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
}
} // namespace

int main(int argc, char* argv[]) {
    QTemporaryFile screenConfig;
    giveOffscreenA1080pScreen(screenConfig);
    QApplication app(argc, argv);
    // kavelo_bench --decode FILE: one decode of one file, for measuring
    // crafted files each in a process of its own.
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--decode"))
        return benchDecodeOne(arguments.at(2));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints Kavelo's performance figures. Sections: pictures, folders, player, "
        "colour, slidefile, show; all of them when none is named. show-pictures only makes "
        "the show's pictures and prints their folder."));
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
        QStringLiteral("Steps of the show whose peak memory is read (default 1000)."),
        QStringLiteral("count"), QStringLiteral("1000"));
    parser.addOptions({pictures, ticks, longShow});
    parser.process(app);

    const QString pictureFolder = showPictureFolder(parser.value(pictures));
    QStringList sections = parser.positionalArguments();
    if (sections.isEmpty())
        sections = {QStringLiteral("pictures"),  QStringLiteral("folders"),
                    QStringLiteral("player"),    QStringLiteral("colour"),
                    QStringLiteral("slidefile"), QStringLiteral("show")};
    for (const QString& section : std::as_const(sections)) {
        if (section == QStringLiteral("pictures"))
            benchPictures();
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
        else if (section == QStringLiteral("show"))
            benchShow({pictureFolder, parser.value(ticks).toInt(), parser.value(longShow).toInt()});
        else
            std::printf("unknown section %s\n", qPrintable(section));
        std::fflush(stdout);
    }
    return 0;
}
