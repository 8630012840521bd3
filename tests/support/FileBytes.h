#pragma once

#include <QByteArray>
#include <QString>

// Whole files as bytes, for tests that make their inputs and check what
// was written.

// False when the file could not be written in full.
bool writeBytes(const QString& path, const QByteArray& bytes);
// Empty when the file cannot be read.
QByteArray readBytes(const QString& path);
// "<unreadable>" when the file cannot be read, so that a missing file
// never passes for an empty one.
QByteArray fileContents(const QString& path);
