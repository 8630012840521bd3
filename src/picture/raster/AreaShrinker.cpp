#include "picture/raster/AreaShrinker.h"

#include "picture/raster/LargeImage.h"

#include <algorithm>

AreaShrinker::AreaShrinker(QSize source, QImage& target)
    : source_(source)
    , target_(target)
    , spans_(size_t(target.width()))
    , rowSums_(size_t(target.width()) * 3)
    , boxSums_(size_t(target.width()) * 3) {
    // Source column x spans [x * tw, (x + 1) * tw), target column c spans
    // [c * w, (c + 1) * w): both sides in units of 1 / (w * tw).
    const qint64 w = source.width();
    const qint64 tw = target.width();
    for (qint64 c = 0; c < tw; ++c) {
        const qint64 start = c * w;
        const qint64 end = start + w;
        const qint64 first = start / tw;
        const qint64 last = (end - 1) / tw;
        Span& span = spans_[size_t(c)];
        span.first = int(first);
        span.count = int(last - first + 1);
        span.firstShare = quint32(std::min((first + 1) * tw, end) - start);
        span.lastShare = quint32(end - last * tw);
    }
}

qint64 AreaShrinker::workingBytes(QSize target) {
    return qint64(target.width()) *
           qint64(sizeof(Span) + 3 * sizeof(quint32) + 3 * sizeof(quint64));
}

QImage AreaShrinker::shrunk(const QImage& picture, QSize size) {
    QImage target = largeImage(size, QImage::Format_RGB32);
    if (target.isNull())
        return target;
    AreaShrinker shrinker(picture.size(), target);
    for (int y = 0; y < picture.height(); ++y)
        shrinker.addRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)));
    return target;
}

void AreaShrinker::addRow(const QRgb* row) {
    if (isComplete())
        return;
    // A column's shares add up to the source width, so its sum is at most
    // 255 x 65,535 per channel: 32 bits hold it.
    const int columns = target_.width();
    const qint64 tw = columns;
    quint32* sums = rowSums_.data();
    for (int c = 0; c < columns; ++c) {
        const Span& span = spans_[size_t(c)];
        const QRgb* p = row + span.first;
        quint32 b, g, r;
        if (span.count == 1) {
            const quint32 share = span.firstShare;
            b = (p[0] & 0xFF) * share;
            g = ((p[0] >> 8) & 0xFF) * share;
            r = ((p[0] >> 16) & 0xFF) * share;
        } else {
            quint32 wb = 0, wg = 0, wr = 0;
            for (int i = 1; i < span.count - 1; ++i) {
                wb += p[i] & 0xFF;
                wg += (p[i] >> 8) & 0xFF;
                wr += (p[i] >> 16) & 0xFF;
            }
            const quint32 whole = quint32(tw);
            const QRgb f = p[0];
            const QRgb l = p[span.count - 1];
            b = wb * whole + (f & 0xFF) * span.firstShare + (l & 0xFF) * span.lastShare;
            g = wg * whole + ((f >> 8) & 0xFF) * span.firstShare +
                ((l >> 8) & 0xFF) * span.lastShare;
            r = wr * whole + ((f >> 16) & 0xFF) * span.firstShare +
                ((l >> 16) & 0xFF) * span.lastShare;
        }
        sums[3 * c] = b;
        sums[3 * c + 1] = g;
        sums[3 * c + 2] = r;
    }

    // Rows alike: source row y spans [y * th, (y + 1) * th), target row t
    // spans [t * h, (t + 1) * h); a source row reaches into two target
    // rows at most.
    const qint64 h = source_.height();
    const qint64 th = target_.height();
    const qint64 y = sourceRow_++;
    const qint64 rowEnd = qint64(targetRow_ + 1) * h;
    const qint64 end = (y + 1) * th;
    if (end < rowEnd) {
        addToRow(quint64(th));
        return;
    }
    addToRow(quint64(rowEnd - y * th));
    finishRow();
    if (end > rowEnd)
        addToRow(quint64(end - rowEnd));
}

void AreaShrinker::addToRow(quint64 share) {
    quint64* box = boxSums_.data();
    const quint32* sums = rowSums_.data();
    for (size_t i = 0; i < rowSums_.size(); ++i)
        box[i] += sums[i] * share;
}

void AreaShrinker::finishRow() {
    // Every target pixel covers w x h units.
    const double perUnit = 1.0 / (double(source_.width()) * double(source_.height()));
    auto* out = reinterpret_cast<QRgb*>(target_.scanLine(targetRow_));
    const quint64* s = boxSums_.data();
    for (int c = 0; c < target_.width(); ++c, s += 3)
        out[c] = qRgb(int(double(s[2]) * perUnit + 0.5), int(double(s[1]) * perUnit + 0.5),
                      int(double(s[0]) * perUnit + 0.5));
    std::fill(boxSums_.begin(), boxSums_.end(), 0);
    ++targetRow_;
}
