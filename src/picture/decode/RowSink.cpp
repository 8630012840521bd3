#include "picture/decode/RowSink.h"

#include "picture/raster/AreaShrinker.h"
#include "picture/raster/BoxShrinker.h"

#include <algorithm>
#include <cstring>

namespace {
// The area shrinker's 32-bit column sums hold sources up to this side.
constexpr int maxAreaSide = 65535;
} // namespace

RowSink::RowSink(QSize source, QImage& target, bool alpha)
    : source_(source)
    , target_(target) {
    if (source == target.size())
        return;
    if (alpha || source.width() > maxAreaSide || source.height() > maxAreaSide)
        box_ = std::make_unique<BoxShrinker>(source, target);
    else
        area_ = std::make_unique<AreaShrinker>(source, target);
}

RowSink::~RowSink() = default;

qint64 RowSink::workingBytes(QSize target) {
    return std::max(AreaShrinker::workingBytes(target), BoxShrinker::workingBytes(target));
}

void RowSink::addRows(const QRgb* row, int count) {
    count = std::min(count, source_.height() - row_);
    if (count <= 0)
        return;
    if (box_) {
        box_->addRows(row, count);
    } else if (area_) {
        for (int i = 0; i < count; ++i)
            area_->addRow(row);
    } else {
        for (int i = 0; i < count; ++i)
            std::memcpy(target_.scanLine(row_ + i), row, size_t(source_.width()) * 4);
    }
    row_ += count;
}
