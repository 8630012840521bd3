#pragma once

#include <QByteArray>
#include <QList>

// A tiny picture of each format the decoders read, decoded by a helper
// before its sandbox is set, so that whatever the libraries load or set up
// on first use (tables, Qt's file engine, lcms2's plug-ins) is in place
// before open and friends are refused.
QList<QByteArray> warmUpSamples();
