#pragma once

#include <QByteArrayView>
#include <QString>
#include <functional>

// Tells a settings file the program can keep using from one it must not
// rewrite. QSettings' INI parser is lenient: on a line it cannot parse it
// sets FormatError but still reads what it can, and its next write then
// drops every line it did not understand. So a file that fails any of
// these checks is treated as unreadable as a whole, read as if absent, and
// set aside before the program writes its own file in its place.

enum class SettingsFileState {
    Absent,   // no file: reads give the defaults, the first write creates it
    Readable, // parsed in full
    Damaged,  // exists but cannot be read or parsed
};

// The checks on the bytes alone: no NUL byte (QSettings silently cuts a
// key or value there) and valid UTF-8 throughout (it silently replaces
// broken sequences, so rewriting would change them).
bool isSettingsText(QByteArrayView bytes);

// The INI shape QSettings writes and reads without loss: every line is
// blank, a comment (";" or "#"), a section header closed on the same line
// ("[opts]"), or a key, "=" and a value. A leading UTF-8 byte-order mark,
// as some editors add, is allowed. Anything else (a header without its
// "]", a line without "=", binary junk) is a line QSettings would flag
// with FormatError and drop when it writes. A value QSettings would
// deserialize as a QVariant is not the program's either.
bool hasIniLinesOnly(QByteArrayView bytes);

// Absent when nothing is at path. Damaged when it is not a regular file,
// cannot be opened for reading, is larger than the program ever writes by
// far, or fails isSettingsText or hasIniLinesOnly. Else Readable.
SettingsFileState inspectSettingsFile(const QString& path);

// The first of "<path>.bak", "<path>.bak.2", "<path>.bak.3", ... that taken
// says is free, so an earlier backup is never replaced; empty when all of
// the first thousand are taken.
QString freeBackupPath(const QString& path, const std::function<bool(const QString&)>& taken);
