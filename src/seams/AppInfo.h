#pragma once

#include <QString>

// What the program knows about itself at build time. Windows take it by value,
// so a test can hand them another version or copyright text.
struct AppInfo {
    QString title;
    int major = 0;
    int minor = 0;
    int revision = 0;
    QString legalCopyright;

    static AppInfo current();
};

// "1.0.0": plain decimal numbers joined by dots.
QString versionText(const AppInfo& info);
