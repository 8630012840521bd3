#pragma once

// The pictures the show benchmarks step through: distinct camera-like
// 24-megapixel JPEGs, LZW TIFFs and BMPs of the same size, generated once
// into a cache folder and reused by later runs.

#include <QSize>
#include <QString>
#include <QStringList>

struct ShowPictures {
    QStringList jpegs;
    QStringList tiffs;
    QStringList bmps;
    bool ok = false;
};

// The folder given, or $XDG_CACHE_HOME/kavelo-bench/show (~/.cache when the
// variable is unset).
QString showPictureFolder(const QString& given);

// Makes the missing pictures in folder and lists them all. A file counts as
// made once it is complete under its final name, so an interrupted run
// never leaves a cut-short picture behind for the next one.
ShowPictures ensureShowPictures(const QString& folder);
