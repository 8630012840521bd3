// The cold decode of a show picture against the libraries' own command
// line tools on the same file, and the explorer's preview of one.

#include "BenchShow.h"
#include "BenchSupport.h"
#include "explorer/frmExplorer.h"
#include "picture/PictureDecoder.h"
#include "support/Fakes.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
constexpr int runs = 5;

// The median of runs timings; negative when any run failed.
double medianMs(const std::function<bool()>& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return -1;
        times.push_back(elapsedMs(timer));
    }
    return spreadOf(times).median;
}

// Starting the tool is counted too: it is what running it costs.
bool runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(program, arguments);
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

bool decodes(const QString& path) {
    PictureDecoder decoder(PictureView::decodeBound());
    return decoder.decode(path).has_value();
}

void compare(const char* what, const QString& path, const char* toolLine, const QString& program,
             const QStringList& arguments) {
    const double ours = medianMs([&] { return decodes(path); });
    const double tool = medianMs([&] { return runTool(program, arguments); });
    if (ours < 0 || tool < 0) {
        std::printf("  %-22s %s\n", what,
                    ours < 0 ? "our decode FAILED" : "tool failed or is not installed");
        return;
    }
    std::printf("  %-22s %8.1f %8.1f %7.2f   %s\n", what, ours, tool, ours / tool, toolLine);
}
} // namespace

void benchShowDecodes(const QString& jpeg, const QString& tiff) {
    QTemporaryDir scratch;
    const QSize bound = PictureView::decodeBound();
    std::printf("cold decode of one file against the library's tool, median of %d runs, ms "
                "(ours: the player's decoder at %d x %d; the tools' times include starting "
                "them)\n",
                runs, bound.width(), bound.height());
    std::printf("  %-22s %8s %8s %7s   %s\n", "file", "ours", "tool", "ratio", "tool");
    compare("JPEG 6000x4000", jpeg, "djpeg -scale 3/8 -outfile /dev/null", QStringLiteral("djpeg"),
            {QStringLiteral("-scale"), QStringLiteral("3/8"), QStringLiteral("-outfile"),
             QStringLiteral("/dev/null"), jpeg});
    compare("TIFF LZW 6000x4000", tiff, "tiffcp -c none", QStringLiteral("tiffcp"),
            {QStringLiteral("-c"), QStringLiteral("none"), tiff,
             scratch.filePath(QStringLiteral("copy.tif"))});

    FakeWorld world;
    frmExplorer explorer(world.context(),
                         VolumeTable({{QStringLiteral("/"), QString()}}, scratch.path()));
    explorer.Form_Load();
    explorer.show();
    QApplication::processEvents();
    const QSize preview = explorer.PVPicture->size();
    const double ms = medianMs([&] {
        explorer.PictureOpened = jpeg;
        explorer.ShowPreview();
        QApplication::processEvents();
        return !explorer.PVPicture->pictureSize().isEmpty();
    });
    std::printf("explorer preview of a 24 MP JPEG (%s, into %d x %d): median %.1f ms of %d; "
                "%d messages\n",
                qPrintable(QFileInfo(jpeg).fileName()), preview.width(), preview.height(), ms, runs,
                int(world.prompter.messages.size()));
    explorer.hide();
}
