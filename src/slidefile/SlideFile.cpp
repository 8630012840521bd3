#include "slidefile/SlideFile.h"

#include "slidefile/SlideLineSplitter.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
// Big enough that a million entries take a few dozen writes and reads.
constexpr qsizetype chunkSize = 256 * 1024;

bool writeAll(QIODevice& device, const QByteArray& bytes) {
    // A short count is a failure too: on a full disk a write can take part
    // of the bytes without reporting an error.
    return device.write(bytes) == bytes.size();
}

bool hasLineBreak(const QString& entry) {
    return entry.contains(QLatin1Char('\r')) || entry.contains(QLatin1Char('\n'));
}

// Pushes what the file holds to the disk and reports whether it got there.
// Network and some local file systems only report a lost write here.
bool syncToDisk(QFileDevice& file) {
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#else
    Q_UNUSED(file);
    return true;
#endif
}
} // namespace

bool isSavable(const QStringList& entries) {
    return std::none_of(entries.cbegin(), entries.cend(), hasLineBreak);
}

bool writeSlideFile(QIODevice& device, const QStringList& entries) {
    if (!isSavable(entries))
        return false;
    QByteArray chunk;
    chunk.reserve(chunkSize + 4096);
    for (const QString& entry : entries) {
        chunk += QFile::encodeName(entry);
        chunk += "\r\n";
        if (chunk.size() >= chunkSize) {
            if (!writeAll(device, chunk))
                return false;
            chunk.resize(0);
        }
    }
    return writeAll(device, chunk);
}

bool readSlideFile(QIODevice& device, QStringList& entries) {
    SlideLineSplitter splitter;
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 got = device.read(buffer.data(), buffer.size());
        if (got < 0)
            return false; // a line cut off by the failure is no entry
        if (got == 0)
            break;
        splitter.feed(QByteArrayView(buffer.constData(), got), entries);
    }
    splitter.finish(entries);
    return true;
}

bool saveSlideFile(const QString& path, const QStringList& entries) {
    // Checked before anything touches the disk.
    if (!isSavable(entries))
        return false;
    // QSaveFile writes a temporary file beside the target and renames it
    // over the target only in commit(); a QSaveFile destroyed without a
    // successful commit removes its temporary file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Qt 6.4's commit() reports success after a short write or a failed
    // flush of its write buffer (a full disk), which would put a truncated
    // file in place of the user's one. So every step is checked here and the
    // save cancelled on the first failure.
    if (!writeSlideFile(file, entries) || !file.flush() || file.error() != QFileDevice::NoError ||
        !syncToDisk(file)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool loadSlideFile(const QString& path, QStringList& entries) {
    // Opening a pipe would wait for a writer, and a device such as
    // /dev/zero never ends: only regular files are read.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    return readSlideFile(file, entries);
}
