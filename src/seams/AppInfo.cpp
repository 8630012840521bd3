#include "seams/AppInfo.h"

AppInfo AppInfo::current() {
    AppInfo info;
    info.title = QStringLiteral("Vantrel");
    info.major = KAVELO_VERSION_MAJOR;
    info.minor = KAVELO_VERSION_MINOR;
    info.revision = KAVELO_VERSION_PATCH;
    info.legalCopyright = QStringLiteral("\u00A9 2026 Tessaly Software");
    return info;
}

QString versionText(const AppInfo& info) {
    return QStringLiteral("%1.%2.%3").arg(info.major).arg(info.minor).arg(info.revision);
}
