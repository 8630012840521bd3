#include "settings/SettingsFileCheck.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QUtf8StringView>

namespace {
// The program writes four short values; a file far beyond that is not its
// own, and parsing it would only slow the start.
constexpr qint64 largestSettingsFile = 1024 * 1024;
constexpr int backupAttempts = 1000;
} // namespace

bool isSettingsText(QByteArrayView bytes) {
    return !bytes.contains('\0') && QUtf8StringView(bytes.data(), bytes.size()).isValidUtf8();
}

bool hasIniLinesOnly(QByteArrayView bytes) {
    if (bytes.startsWith("\xef\xbb\xbf"))
        bytes = bytes.sliced(3);
    for (const QByteArray& raw : QByteArray(bytes.data(), bytes.size()).split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            if (!line.endsWith(']') || line.size() < 3)
                return false;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            return false;
        // QSettings reads "@Variant(...)" as a value serialized with
        // QDataStream, which reserves whatever count the bytes claim (a few
        // bytes can ask for gigabytes). The program stores text only, and
        // QSettings writes a text that starts with "@" as "@@".
        for (const QByteArray& item : line.sliced(equals + 1).split(',')) {
            const QByteArray value = item.trimmed();
            if (value.startsWith("@Variant(") || value.startsWith("\"@Variant("))
                return false;
        }
    }
    return true;
}

SettingsFileState inspectSettingsFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return SettingsFileState::Absent;
    if (!info.isFile() || info.size() > largestSettingsFile)
        return SettingsFileState::Damaged;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return SettingsFileState::Damaged;
    const QByteArray bytes = file.read(largestSettingsFile + 1);
    // Decided from the bytes, not from QSettings::status(): QSettings keeps
    // parsed files in a process-wide cache and reports FormatError only to
    // the instance that happened to parse the file.
    if (bytes.size() > largestSettingsFile || !isSettingsText(bytes) || !hasIniLinesOnly(bytes))
        return SettingsFileState::Damaged;
    return SettingsFileState::Readable;
}

QString freeBackupPath(const QString& path, const std::function<bool(const QString&)>& taken) {
    const QString first = path + QStringLiteral(".bak");
    if (!taken(first))
        return first;
    for (int number = 2; number <= backupAttempts; ++number) {
        const QString candidate = first + QLatin1Char('.') + QString::number(number);
        if (!taken(candidate))
            return candidate;
    }
    return QString();
}
