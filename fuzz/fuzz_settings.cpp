// Random bytes as the stored texts the settings conversions read, and as a
// whole settings file read through the store. The conversions must keep
// their results in range whatever the text; the store must neither crash
// nor hang on a file it cannot make sense of.

#include "settings/SettingsConversions.h"
#include "settings/SettingsStore.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
void checkConversions(const QString& text) {
    const int seconds = playerSecondsFromText(text);
    if (seconds < 1 || seconds > 54)
        std::abort();
    const int position = sliderPositionFromText(text);
    if (position < 1 || position > 30)
        std::abort();
    // The flag as read from the store and as a number the dialog set.
    isSavePathOn(QVariant(text));
    isSavePathOn(QVariant(qlonglong(leadingNumber(QVariant(text)))));
    leadingNumber(QVariant(text.toDouble()));
}

// Each input replaces the same file; the folder lives as long as the run.
// Every write of the store ends in fdatasync, which in memory costs nothing.
QString settingsPath() {
    static QTemporaryDir folder(QDir(QStringLiteral("/dev/shm")).exists()
                                    ? QStringLiteral("/dev/shm/kavelo-fuzz-XXXXXX")
                                    : QDir::tempPath() + QStringLiteral("/kavelo-fuzz-XXXXXX"));
    return folder.filePath(QStringLiteral("Vantrel.conf"));
}

void readStore(const QByteArray& bytes) {
    const QString path = settingsPath();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(bytes);
    }
    SettingsStore store(path);
    // The keys the program reads at start-up, then one write back.
    checkConversions(store.read(QStringLiteral("opts"), QStringLiteral("TimerSecs")));
    checkConversions(store.read(QStringLiteral("opts"), QStringLiteral("SavePath")));
    store.read(QStringLiteral("paths"), QStringLiteral("Dir"));
    store.write(QStringLiteral("paths"), QStringLiteral("Drive"), QStringLiteral("/"));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The first byte picks the path, so both are fuzzed from one corpus.
    if (!bytes.isEmpty() && (bytes.at(0) & 1))
        readStore(bytes.mid(1));
    else {
        checkConversions(QString::fromUtf8(bytes.mid(1)));
        checkConversions(QString::fromLatin1(bytes.mid(1)));
    }
    return 0;
}
