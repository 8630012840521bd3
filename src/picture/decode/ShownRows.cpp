#include "picture/decode/ShownRows.h"

#include "picture/raster/AreaShrinker.h"
#include "picture/raster/BoxShrinker.h"

#include <algorithm>

ShownRows::ShownRows(QSize source, QSize shown, bool alpha)
    : image_(shown, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32) {
    if (image_.isNull())
        return;
    if (alpha)
        box_ = std::make_unique<BoxShrinker>(source, image_);
    else
        area_ = std::make_unique<AreaShrinker>(source, image_);
}

ShownRows::~ShownRows() = default;

void ShownRows::addRow(const QRgb* row) {
    if (box_)
        box_->addRow(row);
    else
        area_->addRow(row);
}

bool ShownRows::isComplete() const {
    return box_ ? box_->isComplete() : area_ && area_->isComplete();
}

qint64 ShownRows::bytes(QSize shown) {
    return qint64(shown.width()) * shown.height() * 4 +
           std::max(AreaShrinker::workingBytes(shown), BoxShrinker::workingBytes(shown));
}
