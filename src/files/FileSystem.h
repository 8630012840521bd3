#pragma once

#include <QString>

// True only for an existing file (links followed), never for a folder.
bool FileExists(const QString& path);

// The text after the last dot of the last path component, empty when that
// component has no dot: "a/b.tar.jpg" -> "jpg", "a.b/c" -> "".
QString GetExtensionName(const QString& path);

// The picture types the program shows, by extension in any letter case:
// cameras and phones name their files "DSC_0001.JPG" or "IMG_1234.HEIC".
// JPEG, BMP, TIFF, PNG, GIF, WebP, HEIC/HEIF, AVIF and JPEG XL, each under
// every name in common use.
bool isSupportedPictureExtension(const QString& extension);

// Can this entry be shown? By name alone for the explorer's file list (a
// file it lists exists); the player also wants the file still there, since
// a slide list entry may name one deleted or never made.
bool isPictureName(const QString& path);
bool canShowSlide(const QString& path);

// Folder path, the separator, the name, with no test whether the folder
// path already ends in one: a file in "/" becomes "//name".
QString picturePath(const QString& folder, const QString& name);
