#include "BenchSupport.h"
#include "explorer/frmExplorer.h"
#include "seams/FileDialog.h"
#include "show/SlideListModel.h"
#include "slidefile/SlideFile.h"
#include "support/Fakes.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {
constexpr int entryCount = 1000000;

// The benchmark picks the file itself, as a user would in the dialog.
class FixedChoice final : public FileDialog {
public:
    explicit FixedChoice(QString path)
        : path_(std::move(path)) {}
    std::optional<QString> openFile(QWidget*, const QString&) override { return path_; }
    std::optional<QString> saveFile(QWidget*, const QString&) override { return path_; }

private:
    QString path_;
};

// A message means the run went wrong; it is printed, not shown.
class PrintingPrompter final : public Prompter {
public:
    void message(QWidget*, const QString& text, MessageIcon) override {
        std::printf("  unexpected message: %s\n", qPrintable(text));
    }
};

QStringList typicalList() {
    QStringList entries;
    entries.reserve(entryCount);
    for (int i = 0; i < entryCount; ++i)
        entries.append(QStringLiteral("/home/anna/Pictures/Holidays %1/IMG_%2.jpg")
                           .arg(2000 + i % 25)
                           .arg(i, 7, 10, QLatin1Char('0')));
    return entries;
}

void report(const char* what, const QElapsedTimer& timer) {
    std::printf("  %-52s %8.1f ms\n", what, elapsedMs(timer));
}
} // namespace

void benchSlideFile() {
    std::printf("Slide show files, %d entries:\n", entryCount);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.SLD"));
    const QStringList entries = typicalList();

    QElapsedTimer timer;
    timer.start();
    const bool saved = saveSlideFile(path, entries);
    report("save (format and disk, fsync included)", timer);
    std::printf("  file size %.1f MB%s\n", QFileInfo(path).size() / 1e6, saved ? "" : ", FAILED");

    QStringList loaded;
    timer.start();
    const bool read = loadSlideFile(path, loaded);
    report("load (disk and format)", timer);
    if (!read || loaded != entries)
        std::printf("  load FAILED or differs\n");

    FakeWorld world;
    PrintingPrompter prompter;
    FixedChoice choice(path);
    AppContext context = world.context();
    context.prompter = &prompter;
    context.fileDialog = &choice;
    frmExplorer explorer(context, VolumeTable({{QStringLiteral("/"), QString()}}, dir.path()));
    explorer.Form_Load();

    timer.start();
    explorer.cmdLoad_Click();
    report("explorer Load command (into the slide list)", timer);
    if (explorer.slideList().count() != entryCount)
        std::printf("  Load gave %d entries\n", explorer.slideList().count());

    timer.start();
    explorer.cmdSave_Click();
    report("explorer Save command (from the slide list)", timer);

    timer.start();
    explorer.cmdLoad_Click();
    report("explorer Load command replacing a full list", timer);
}
