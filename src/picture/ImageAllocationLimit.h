#pragma once

#include <QtGlobal>

// Raises Qt's limit on one image allocation (256 MB by default) to cover
// the decoders' budget, so the budget, not Qt, decides what a BMP may need.
// A stricter limit the user set with QT_IMAGEIO_MAXALLOC is kept. The limit
// is process-wide: call once from main before any thread decodes.
void coverDecodeBudget(qint64 budgetBytes);
