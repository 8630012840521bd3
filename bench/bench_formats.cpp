// The cold decode of a HEIC, an AVIF, a lossy WebP and a PNG at the drawn
// size against the libraries' own command line tools on the same file: in
// each round the tool, our decoder in this process and, where the bench
// has its helpers, our decoder in a helper, one after the other, so that
// all three see the same load on a shared machine.

#include "BenchSupport.h"
#include "FormatPictures.h"
#include "picture/PictureDecoder.h"
#include "picture/raster/PictureFit.h"
#include "picture/sandbox/DecodeHelperPool.h"
#include "support/PictureFiles.h"
#include "ui/PictureView.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {
constexpr int rounds = 7;

double cpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The clock and processor time of one run; a negative clock when it
// failed.
struct Timing {
    double wallMs = -1;
    double cpuMs = 0;
};

// Starting the tool is counted too: it is what running it costs. Its
// processor time is that of the children reaped meanwhile: only it.
Timing timeTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.setStandardOutputFile(QProcess::nullDevice());
    // Its chatter is left out; whether it ran is its exit code.
    tool.setStandardErrorFile(QProcess::nullDevice());
    const double cpuBefore = cpuMs(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    tool.start(program, arguments);
    const bool ran = tool.waitForFinished(120000) && tool.exitStatus() == QProcess::NormalExit &&
                     tool.exitCode() == 0;
    Timing timing;
    if (ran)
        timing = {elapsedMs(timer), cpuMs(RUSAGE_CHILDREN) - cpuBefore};
    return timing;
}

// The shown size of a picture on the bench's screen, as the player asks
// for a picture filling it.
QSize drawnSize(QSize full) {
    return shrinkToFit(full, PictureView::decodeBound());
}

// Our decode in this process, with every thread of it counted.
Timing timeInProcess(const QString& path, QSize& shown) {
    const double cpuBefore = cpuMs(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    PictureDecoder decoder(PictureView::decodeBound());
    decoder.setDrawSize(drawnSize);
    const auto picture = decoder.decode(path);
    Timing timing;
    if (picture) {
        timing = {elapsedMs(timer), cpuMs(RUSAGE_SELF) - cpuBefore};
        shown = picture->image.size();
    } else {
        std::printf("  our decode of %s failed: %s\n", qPrintable(path),
                    qPrintable(decoder.errorString()));
    }
    return timing;
}

// Through a helper, as the program decodes: clock time only, the work
// being another process's.
Timing timeInHelper(DecodeHelperPool& helpers, const QString& path) {
    QElapsedTimer timer;
    timer.start();
    const DecodeHelperPool::Result result = helpers.decode(
        path, PictureView::decodeBound(), PictureDecoder::defaultMemoryBudget, drawnSize);
    Timing timing;
    if (result.picture)
        timing.wallMs = elapsedMs(timer);
    else
        std::printf("  helper decode of %s failed: %s\n", qPrintable(path),
                    qPrintable(result.reason));
    return timing;
}

struct Row {
    QString what;
    QString file;
    // How the tool is shown in the table, and run.
    QString toolLine;
    QString program;
    QStringList arguments;
};

double median(const std::vector<Timing>& timings, double Timing::*field) {
    std::vector<double> values;
    for (const Timing& t : timings)
        values.push_back(t.*field);
    return values.empty() ? -1 : spreadOf(values).median;
}

void compare(const Row& row, DecodeHelperPool* helpers) {
    std::vector<Timing> tool, ours, helper;
    QSize shown;
    // One untimed round first: the file and the programs in the page cache,
    // the helper started.
    for (int round = -1; round < rounds; ++round) {
        const Timing t = timeTool(row.program, row.arguments);
        const Timing o = timeInProcess(row.file, shown);
        const Timing h = helpers ? timeInHelper(*helpers, row.file) : Timing{};
        if (t.wallMs < 0 || o.wallMs < 0 || (helpers && h.wallMs < 0)) {
            std::printf("  %-22s %s\n", qPrintable(row.what),
                        t.wallMs < 0 ? "tool failed or is not installed" : "our decode FAILED");
            return;
        }
        if (round < 0)
            continue;
        tool.push_back(t);
        ours.push_back(o);
        if (helpers)
            helper.push_back(h);
    }
    const QFileInfo info(row.file);
    const double toolMs = median(tool, &Timing::wallMs);
    const double oursMs = median(ours, &Timing::wallMs);
    const double helperMs = helpers ? median(helper, &Timing::wallMs) : -1;
    std::printf("  %-22s %7.2f %9s %8.0f %7.0f %8.0f %7.0f %8.0f %6.2f %6.2f   %s\n",
                qPrintable(row.what), info.size() / 1e6,
                qPrintable(QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height())), toolMs,
                median(tool, &Timing::cpuMs), oursMs, median(ours, &Timing::cpuMs), helperMs,
                oursMs / toolMs, helpers ? helperMs / toolMs : -1.0, qPrintable(row.toolLine));
    std::fflush(stdout);
}
} // namespace

void benchFormats(const QString& folder, const QString& only) {
    std::printf("== formats ==\n");
    const FormatPictures pictures = ensureFormatPictures(folder);
    if (!pictures.ok)
        return;
    QTemporaryDir scratch;
    // The tools write their pictures into /dev/null through a name with
    // the suffix they choose the output format by: decoding and the
    // output's framing are timed, not the disk.
    const QString y4m = scratch.filePath(QStringLiteral("out.y4m"));
    if (!QFile::link(QStringLiteral("/dev/null"), y4m)) {
        std::printf("cannot link %s\n", qPrintable(y4m));
        return;
    }
    const auto first = [&](const char* format) {
        for (const FormatSet& set : pictures.sets)
            if (set.name.startsWith(QLatin1String(format)))
                return set.files.first();
        return QString();
    };
    const QString heic = first("HEIC"), avif = first("AVIF"), webp = first("WebP"),
                  png = first("PNG");
    const QSize bound = PictureView::decodeBound();
    const QSize webpShown = drawnSize(QSize(4000, 3000));
    const QString scaleWidth = QString::number(webpShown.width()),
                  scaleHeight = QString::number(webpShown.height());
    const QList<Row> rows = {
        {QStringLiteral("HEIC 4000x3000"),
         heic,
         QStringLiteral("heif-convert FILE out.y4m"),
         QStringLiteral("heif-convert"),
         {heic, y4m}},
        {QStringLiteral("AVIF 4000x3000"),
         avif,
         QStringLiteral("avifdec --jobs 1 FILE out.y4m"),
         QStringLiteral("avifdec"),
         {QStringLiteral("--jobs"), QStringLiteral("1"), avif, y4m}},
        {QStringLiteral("AVIF 4000x3000"),
         avif,
         QStringLiteral("avifdec --jobs 2 FILE out.y4m"),
         QStringLiteral("avifdec"),
         {QStringLiteral("--jobs"), QStringLiteral("2"), avif, y4m}},
        {QStringLiteral("WebP lossy 4000x3000"),
         webp,
         QStringLiteral("dwebp -quiet -ppm FILE -o -"),
         QStringLiteral("dwebp"),
         {QStringLiteral("-ppm"), webp, QStringLiteral("-o"), QStringLiteral("-")}},
        {QStringLiteral("WebP lossy 4000x3000"),
         webp,
         QStringLiteral("dwebp -quiet -scale %1 %2 -ppm FILE -o -").arg(scaleWidth, scaleHeight),
         QStringLiteral("dwebp"),
         {QStringLiteral("-quiet"), QStringLiteral("-scale"), scaleWidth, scaleHeight,
          QStringLiteral("-ppm"), webp, QStringLiteral("-o"), QStringLiteral("-")}},
        {QStringLiteral("PNG 6000x4000"),
         png,
         QStringLiteral("convert FILE null:"),
         convertProgram(),
         {png, QStringLiteral("null:")}},
    };
    DecodeHelperPool* helpers = DecodeHelperPool::installed();
    if (helpers && helpers->unavailable())
        helpers = nullptr;
    std::printf("cold decode at the drawn size in a %d x %d bound against the library's tool, "
                "median of %d rounds, each round the tool, ours in process and ours in a "
                "helper%s, one after the other; ms (cpu: user and system time); load average "
                "%s\n",
                bound.width(), bound.height(), rounds, helpers ? "" : " (none: not started)",
                qPrintable(loadAverage()));
    std::printf("  %-22s %7s %9s %8s %7s %8s %7s %8s %6s %6s   %s\n", "file", "MB", "shown", "tool",
                "cpu", "ours", "cpu", "helper", "ratio", "helper", "tool");
    for (const Row& row : rows)
        if (only.isEmpty() || row.what.contains(only, Qt::CaseInsensitive) ||
            row.toolLine.contains(only, Qt::CaseInsensitive))
            compare(row, helpers);
    std::printf("load average after: %s\n", qPrintable(loadAverage()));
}
