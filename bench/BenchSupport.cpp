#include "BenchSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>

namespace {
// A "Field:   1234 kB" line of /proc/<process>/status.
qint64 statusKb(const QByteArray& field, const QString& process = QStringLiteral("self")) {
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}
} // namespace

qint64 residentKb() {
    return statusKb("VmRSS:");
}

qint64 peakResidentKb() {
    return statusKb("VmHWM:");
}

qint64 peakResidentKbOf(qint64 pid) {
    return statusKb("VmHWM:", QString::number(pid));
}

bool resetPeakMemory() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

double kbToMb(qint64 kb) {
    return kb / 1024.0;
}

double elapsedMs(const QElapsedTimer& timer) {
    return timer.nsecsElapsed() / 1e6;
}

Spread spreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}
