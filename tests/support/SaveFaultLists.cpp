#include "support/SaveFaultLists.h"

QStringList faultTestList(const QString& tag, int count) {
    QStringList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i)
        entries.append(QStringLiteral("/%1/IMG_%2.jpg").arg(tag).arg(i, 5, 10, QLatin1Char('0')));
    return entries;
}

QByteArray faultTestBytes(const QString& tag, int count) {
    QByteArray bytes;
    for (const QString& entry : faultTestList(tag, count))
        bytes += entry.toUtf8() + "\r\n";
    return bytes;
}
