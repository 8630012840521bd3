#pragma once

#include <QtGlobal>

class QPixmap;
class QString;

// A picture of our artwork at the variant that stays sharp on the screen:
// where the device pixel ratio is above 1 and "name@2x.ext" sits beside
// "name.ext", the larger one, marked as covering the same logical size.
// Button icons need none of this: QIcon picks "@2x" files by itself.
QPixmap loadArtwork(const QString& path, qreal devicePixelRatio);

// "name@2x.ext" for "name.ext", as Qt looks the variants up.
QString doubleSizeVariant(const QString& path);
