#include "picture/decode/RowSink.h"

#include "picture/raster/AreaShrinker.h"

#include <algorithm>
#include <cstring>

RowSink::RowSink(QSize source, QImage& target)
    : source_(source)
    , target_(target) {
    if (source != target.size())
        area_ = std::make_unique<AreaShrinker>(source, target);
}

RowSink::~RowSink() = default;

qint64 RowSink::workingBytes(QSize target) {
    return AreaShrinker::workingBytes(target);
}

void RowSink::addRows(const QRgb* row, int count) {
    count = std::min(count, source_.height() - row_);
    if (count <= 0)
        return;
    if (area_) {
        area_->addRows(row, count);
    } else {
        for (int i = 0; i < count; ++i)
            std::memcpy(target_.scanLine(row_ + i), row, size_t(source_.width()) * 4);
    }
    row_ += count;
}

void RowSink::addSparseRows(const QRgb* row, int from, int to, QRgb background, int count) {
    count = std::min(count, source_.height() - row_);
    if (count <= 0)
        return;
    from = std::clamp(from, 0, source_.width());
    to = std::clamp(to, from, source_.width());
    if (area_) {
        area_->addSparseRows(row, from, to, background, count);
    } else {
        for (int i = 0; i < count; ++i) {
            auto* line = reinterpret_cast<QRgb*>(target_.scanLine(row_ + i));
            std::fill_n(line, source_.width(), background);
            std::copy(row + from, row + to, line + from);
        }
    }
    row_ += count;
}
