#include "picture/decode/ShownRows.h"

#include "picture/raster/AreaShrinker.h"

#include <algorithm>

ShownRows::ShownRows(QSize source, QSize shown, bool alpha)
    : image_(shown, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32) {
    if (image_.isNull())
        return;
    area_ = std::make_unique<AreaShrinker>(source, image_);
}

ShownRows::~ShownRows() = default;

void ShownRows::addRow(const QRgb* row) {
    area_->addRow(row);
}

bool ShownRows::isComplete() const {
    return area_ && area_->isComplete();
}

qint64 ShownRows::bytes(QSize shown) {
    return qint64(shown.width()) * shown.height() * 4 + AreaShrinker::workingBytes(shown);
}
