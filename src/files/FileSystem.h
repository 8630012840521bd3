#pragma once

#include <QString>

// True only for an existing file (links followed), never for a folder.
bool FileExists(const QString& path);

// The text after the last dot of the last path component, empty when that
// component has no dot: "a/b.tar.jpg" -> "jpg", "a.b/c" -> "".
QString GetExtensionName(const QString& path);

// The three picture types the program shows, by exact, case-sensitive
// extension: "jpg", "bmp", "tif".
bool isSupportedPictureExtension(const QString& extension);

// Folder path, the separator, the name, with no test whether the folder
// path already ends in one: a file in "/" becomes "//name".
QString picturePath(const QString& folder, const QString& name);
