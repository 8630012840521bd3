#include "picture/BoxShrinker.h"

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
}

qint64 BoxShrinker::workingBytes(QSize target) {
    return qint64(target.width()) * (sizeof(int) + 4 * sizeof(quint32) + 4 * sizeof(quint64));
}

void BoxShrinker::addSparseRows(const QRgb* row, int from, int to, QRgb background, int count) {
    count = std::min(count, source_.height() - sourceRow_);
    if (count <= 0)
        return;
    // A box is at most 2^24 pixels wide (the decoders refuse wider
    // pictures), so 32-bit sums of 8-bit channels cannot overflow within a
    // row; the sums over the box's rows are 64-bit.
    const int columns = target_.width();
    quint32* sums = rowSums_.data();
    const quint32 backB = background & 0xFF, backG = (background >> 8) & 0xFF,
                  backR = (background >> 16) & 0xFF, backA = background >> 24;
    int start = 0;
    for (int c = 0; c < columns; ++c) {
        const int end = columnEnd_[size_t(c)];
        // Background outside the drawn span, counted at once.
        const int lo = std::clamp(from, start, end);
        const int hi = std::clamp(to, lo, end);
        const quint32 outside = quint32((end - start) - (hi - lo));
        quint32 b = backB * outside, g = backG * outside, r = backR * outside, a = backA * outside;
        for (int x = lo; x < hi; ++x) {
            const QRgb p = row[x];
            b += p & 0xFF;
            g += (p >> 8) & 0xFF;
            r += (p >> 16) & 0xFF;
            a += p >> 24;
        }
        sums[4 * c] = b;
        sums[4 * c + 1] = g;
        sums[4 * c + 2] = r;
        sums[4 * c + 3] = a;
        start = end;
    }
    const qint64 h = source_.height();
    const qint64 th = target_.height();
    quint64* box = boxSums_.data();
    while (count > 0) {
        // The rows up to the end of the current target row's box: source
        // row y belongs to target row y * th / h.
        const qint64 y = sourceRow_;
        const qint64 next = (((y * th) / h + 1) * h + th - 1) / th;
        const qint64 take = std::min<qint64>(next - y, count);
        for (size_t i = 0; i < rowSums_.size(); ++i)
            box[i] += quint64(sums[i]) * quint64(take);
        rowsInBox_ += int(take);
        sourceRow_ += int(take);
        count -= int(take);
        if (sourceRow_ == h || (qint64(sourceRow_ - 1) * th) / h != (qint64(sourceRow_) * th) / h)
            finishRow();
    }
}

void BoxShrinker::finishRow() {
    const int y = int((qint64(sourceRow_ - 1) * target_.height()) / source_.height());
    auto* out = reinterpret_cast<QRgb*>(target_.scanLine(y));
    int start = 0;
    for (int c = 0; c < target_.width(); ++c) {
        const int end = columnEnd_[size_t(c)];
        const quint64 count = quint64(end - start) * quint64(rowsInBox_);
        const quint64 half = count / 2;
        const quint64* s = &boxSums_[size_t(4 * c)];
        out[c] = qRgba(int((s[2] + half) / count), int((s[1] + half) / count),
                       int((s[0] + half) / count), int((s[3] + half) / count));
        start = end;
    }
    std::fill(boxSums_.begin(), boxSums_.end(), 0);
    rowsInBox_ = 0;
}
