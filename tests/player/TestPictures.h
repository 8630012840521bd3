#pragma once

#include <QSize>
#include <QString>

class QDir;

// Real picture files for the player's tests, written with Qt's own writers.
// The format follows the name's extension unless given; a picture gets a
// colour gradient so that its encoders have something to encode.
QString writePicture(const QDir& folder, const QString& name, QSize size,
                     const char* format = nullptr);
// The player's caption for a picture: "path WxH Direction".
QString playerCaption(const QString& path, const char* size, const char* direction);
// A file that carries a picture extension but holds no picture.
QString writeGarbage(const QDir& folder, const QString& name);
