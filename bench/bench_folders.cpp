#include "BenchSupport.h"
#include "explorer/frmExplorer.h"
#include "show/SlideListModel.h"
#include "support/Fakes.h"
#include "ui/DirListBox.h"
#include "ui/FileListBox.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int fileCount = 100000;

bool makeEmptyFiles(const QString& folder, int count) {
    for (int i = 0; i < count; ++i) {
        const QByteArray name =
            QFile::encodeName(folder) + QByteArray("/IMG_") + QByteArray::number(i) + ".jpg";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::close(fd) != 0)
            return false;
    }
    return true;
}

void report(const char* what, const QElapsedTimer& timer) {
    std::printf("  %-52s %8.1f ms\n", what, elapsedMs(timer));
}
} // namespace

// Opening a folder fills the file list on the event thread, so its time is
// how long the explorer stops answering.
void benchFolders() {
    std::printf("Folders, %d files in one folder:\n", fileCount);
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big"));
    if (!QDir(dir.path()).mkdir(QStringLiteral("big")) || !makeEmptyFiles(big, fileCount)) {
        std::printf("  cannot make the files\n");
        return;
    }
    FakeWorld world;
    frmExplorer explorer(world.context(),
                         VolumeTable({{QStringLiteral("/"), QString()}}, dir.path()));
    explorer.Form_Load();
    const qint64 before = residentKb();

    QElapsedTimer timer;
    timer.start();
    explorer.Dir->setPath(big);
    report("open the folder (file list filled, first time)", timer);
    std::printf("  files listed %d, memory +%.1f MB\n", explorer.FileLst->count(),
                kbToMb(residentKb() - before));

    explorer.Dir->setPath(dir.path());
    timer.start();
    explorer.Dir->setPath(big);
    report("open it again (directory cached by the system)", timer);

    timer.start();
    explorer.Dir->setPath(dir.path());
    report("leave it (file list emptied)", timer);

    explorer.Dir->setPath(big);
    timer.start();
    explorer.Select_Click();
    report("Select All", timer);
    std::printf("  slide list %d entries\n", explorer.slideList().count());
}
