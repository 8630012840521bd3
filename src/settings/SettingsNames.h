#pragma once

#include <QString>

// The sections and keys of the stored settings, and the values read when a
// key is missing: every window names them from here.
namespace settingsKey {
// Section "opts": the options dialog's values.
inline const QString Options = QStringLiteral("opts");
inline const QString TimerSecs = QStringLiteral("TimerSecs");
inline const QString SavePath = QStringLiteral("SavePath");
// Section "paths": the explorer's drive and folder, kept when SavePath is on.
inline const QString Paths = QStringLiteral("paths");
inline const QString Drive = QStringLiteral("Drive");
inline const QString Dir = QStringLiteral("Dir");

inline const QString TimerSecsDefault = QStringLiteral("1");
inline const QString DriveDefault = QStringLiteral("C:");
} // namespace settingsKey
