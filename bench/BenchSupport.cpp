#include "BenchSupport.h"

#include "picture/sandbox/DecodeHelperPool.h"
#include <QElapsedTimer>
#include <QFile>

#include <QList>
#include <algorithm>
#include <chrono>
#include <unistd.h>

namespace {
// A "Field:   1234 kB" line of a /proc file (status, smaps_rollup).
qint64 fieldKb(const QString& path, const QByteArray& field) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

qint64 statusKb(const QByteArray& field, const QString& process = QStringLiteral("self")) {
    return fieldKb(QStringLiteral("/proc/%1/status").arg(process), field);
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

qint64 rollupKb(qint64 pid, const QByteArray& field) {
    return fieldKb(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), field);
}

WholeProgramMemory::WholeProgramMemory()
    : sampler_([this] {
        const qint64 self = ::getpid();
        while (!stopping_) {
            QList<qint64> pids{self};
            if (const DecodeHelperPool* helpers = DecodeHelperPool::installed())
                for (const pid_t pid : helpers->helperPids())
                    pids.append(pid);
            qint64 resident = 0;
            qint64 proportional = 0;
            qint64 program = 0;
            for (const qint64 pid : std::as_const(pids)) {
                resident += std::max<qint64>(rollupKb(pid, "Rss:"), 0);
                const qint64 share = std::max<qint64>(rollupKb(pid, "Pss:"), 0);
                proportional += share;
                if (pid == self)
                    program = share;
            }
            peaks_.residentKb = std::max(peaks_.residentKb, resident);
            if (proportional > peaks_.proportionalKb) {
                peaks_.proportionalKb = proportional;
                peaks_.programProportionalKb = program;
                peaks_.helpersProportionalKb = proportional - program;
            }
            peaks_.helpers = std::max(peaks_.helpers, int(pids.size()) - 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }) {}

WholeProgramMemory::~WholeProgramMemory() {
    stop();
}

WholeProgramMemory::Peaks WholeProgramMemory::stop() {
    stopping_ = true;
    if (sampler_.joinable())
        sampler_.join();
    return peaks_;
}

QString loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
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
