#include "picture/raster/BoxShrinker.h"

#include <algorithm>

BoxShrinker::BoxShrinker(QSize source, QImage& target)
    : source_(source)
    , target_(target)
    , columnEnd_(size_t(target.width()))
    , rowSums_(size_t(target.width()) * 4)
    , boxSums_(size_t(target.width()) * 4) {
    const qint64 w = source.width();
    const qint64 tw = target.width();
    // Column x belongs to target column c while x * tw / w == c, that is
    // up to ceil((c + 1) * w / tw).
    for (qint64 c = 0; c < tw; ++c)
        columnEnd_[size_t(c)] = int(((c + 1) * w + tw - 1) / tw);
    boxEnd_ = target.height() > 0 ? rowEnd(0) : 0;
}

// Rows alike: source row y belongs to target row y * th / h, so target row
// r's box ends before source row ceil((r + 1) * h / th).
int BoxShrinker::rowEnd(int targetRow) const {
    const qint64 h = source_.height();
    const qint64 th = target_.height();
    return int(((targetRow + 1) * h + th - 1) / th);
}

qint64 BoxShrinker::workingBytes(QSize target) {
    return qint64(target.width()) * qint64(sizeof(int) + 8 * sizeof(qint64));
}

void BoxShrinker::addSparseRows(const QRgb* row, int from, int to, QRgb background, int count) {
    count = std::min(count, source_.height() - sourceRow_);
    if (count <= 0)
        return;
    // The background is counted for the whole row at once, as a sum per
    // channel that finishRow spreads over each column's width; the drawn
    // pixels are added to their columns as their difference from it. So a
    // run-length row with a few pixels drawn costs those pixels and their
    // columns, not the target's whole width. A box is at most 2^24 pixels
    // wide and tall (the decoders refuse larger pictures), so 32-bit sums of
    // 8-bit channels cannot overflow within a row, nor 64-bit ones in a box.
    const qint64 back[4] = {background & 0xFF, (background >> 8) & 0xFF, (background >> 16) & 0xFF,
                            background >> 24};
    const qint64 w = source_.width();
    const qint64 tw = target_.width();
    from = std::clamp(from, 0, source_.width());
    to = std::clamp(to, from, source_.width());
    // Whole rows, the common case, need no division.
    const int first = from == 0 || from == to ? 0 : int(from * tw / w);
    const int last = from == to ? 0 : to == w ? int(tw) : int((to - 1) * tw / w) + 1;
    qint64* sums = rowSums_.data();
    for (int c = first; c < last; ++c) {
        const int lo = std::max(from, c == 0 ? 0 : columnEnd_[size_t(c - 1)]);
        const int hi = std::min(to, columnEnd_[size_t(c)]);
        quint32 b = 0, g = 0, r = 0, a = 0;
        for (int x = lo; x < hi; ++x) {
            const QRgb p = row[x];
            b += p & 0xFF;
            g += (p >> 8) & 0xFF;
            r += (p >> 16) & 0xFF;
            a += p >> 24;
        }
        const qint64 drawn = hi - lo;
        sums[4 * c] = b - back[0] * drawn;
        sums[4 * c + 1] = g - back[1] * drawn;
        sums[4 * c + 2] = r - back[2] * drawn;
        sums[4 * c + 3] = a - back[3] * drawn;
    }
    qint64* box = boxSums_.data();
    while (count > 0) {
        const int take = std::min(boxEnd_ - sourceRow_, count);
        for (size_t i = size_t(4 * first); i < size_t(4 * last); ++i)
            box[i] += sums[i] * take;
        for (int i = 0; i < 4; ++i)
            backSums_[i] += back[i] * take;
        rowsInBox_ += take;
        sourceRow_ += take;
        count -= take;
        if (sourceRow_ == boxEnd_)
            finishRow();
    }
}

void BoxShrinker::finishRow() {
    auto* out = reinterpret_cast<QRgb*>(target_.scanLine(targetRow_));
    int start = 0;
    for (int c = 0; c < target_.width(); ++c) {
        const int end = columnEnd_[size_t(c)];
        const qint64 width = end - start;
        const qint64 count = width * rowsInBox_;
        const qint64* sums = &boxSums_[size_t(4 * c)];
        const auto mean = [&](int i) {
            return int((backSums_[i] * width + sums[i] + count / 2) / count);
        };
        out[c] = qRgba(mean(2), mean(1), mean(0), mean(3));
        start = end;
    }
    std::fill(boxSums_.begin(), boxSums_.end(), 0);
    std::fill(std::begin(backSums_), std::end(backSums_), 0);
    rowsInBox_ = 0;
    ++targetRow_;
    if (targetRow_ < target_.height())
        boxEnd_ = rowEnd(targetRow_);
}
