#pragma once

#include <QStringList>

class QIODevice;
class QString;

// The slide show file: one entry per line, each line (the last included)
// ended by CR LF, nothing else; an empty list is an empty file. Entries are
// written and read as the bytes the platform names files with, so every
// path, non-ASCII ones included, comes back as it was saved.

// False when some entry holds a CR or LF: it could not come back as one
// entry, so such a list is never written.
bool isSavable(const QStringList& entries);

// Writes entries to device; false, with nothing written, for a list that is
// not savable, and false on any write error.
bool writeSlideFile(QIODevice& device, const QStringList& entries);

// Appends the lines of device to entries. False on a read error; entries
// then holds the complete lines read before it.
bool readSlideFile(QIODevice& device, QStringList& entries);

// Saves entries as the file path. The new contents replace the file only
// once all of them reached the disk; on any failure (unsavable list, no
// permission, full disk, path is a folder) it returns false and an existing
// file stays exactly as it was.
bool saveSlideFile(const QString& path, const QStringList& entries);

// Appends the lines of the file path to entries. False when it is not a
// regular file that can be opened, or on a read error part-way (entries then
// holds the lines read before it).
bool loadSlideFile(const QString& path, QStringList& entries);
