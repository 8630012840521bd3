#include "picture/raster/AreaShrinker.h"

#include "picture/raster/LargeImage.h"

#include <algorithm>

namespace {
// The sums of a column drawn whole: its shares add up to w, so they are at
// most 255 x 2^24 and 32 bits hold them. An opaque target's alpha is left
// out (0), a quarter of the work of the JPEG rows.
template <bool Alpha>
void wholeColumn(const AreaShrinker::Span& span, const QRgb* row, quint32 tw, quint32 out[4]) {
    const QRgb* p = row + span.first;
    if (span.count == 1) {
        const quint32 share = span.firstShare;
        out[0] = (p[0] & 0xFF) * share;
        out[1] = ((p[0] >> 8) & 0xFF) * share;
        out[2] = ((p[0] >> 16) & 0xFF) * share;
        out[3] = Alpha ? (p[0] >> 24) * share : 0;
        return;
    }
    quint32 wb = 0, wg = 0, wr = 0, wa = 0;
    for (int i = 1; i < span.count - 1; ++i) {
        wb += p[i] & 0xFF;
        wg += (p[i] >> 8) & 0xFF;
        wr += (p[i] >> 16) & 0xFF;
        if (Alpha)
            wa += p[i] >> 24;
    }
    const quint32 fs = span.firstShare;
    const quint32 ls = span.lastShare;
    const QRgb f = p[0];
    const QRgb l = p[span.count - 1];
    out[0] = wb * tw + (f & 0xFF) * fs + (l & 0xFF) * ls;
    out[1] = wg * tw + ((f >> 8) & 0xFF) * fs + ((l >> 8) & 0xFF) * ls;
    out[2] = wr * tw + ((f >> 16) & 0xFF) * fs + ((l >> 16) & 0xFF) * ls;
    out[3] = Alpha ? wa * tw + (f >> 24) * fs + (l >> 24) * ls : 0;
}
} // namespace

AreaShrinker::AreaShrinker(QSize source, QImage& target, RowOrder order)
    : source_(source)
    , target_(target)
    , order_(order)
    , opaque_(target.format() == QImage::Format_RGB32)
    , spans_(size_t(target.width()))
    , rowSums_(size_t(target.width()) * 4)
    , boxSums_(size_t(target.width()) * 4) {
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
    return qint64(target.width()) * qint64(sizeof(Span) + 8 * sizeof(qint64));
}

QImage AreaShrinker::shrunk(const QImage& picture, QSize size) {
    if (picture.isNull() || size.isEmpty())
        return QImage();
    // Formats whose four channels average as they are; the others are
    // turned into one band by band, never whole.
    const QImage::Format format = picture.format();
    const bool direct = format == QImage::Format_RGB32 ||
                        format == QImage::Format_ARGB32_Premultiplied ||
                        format == QImage::Format_RGBA8888_Premultiplied;
    const QImage::Format work = direct                      ? format
                                : picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                            : QImage::Format_RGB32;
    QImage target = largeImage(size, work);
    if (target.isNull())
        return target;
    AreaShrinker shrinker(picture.size(), target);
    if (direct) {
        for (int y = 0; y < picture.height(); ++y)
            shrinker.addRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)));
        return target;
    }
    constexpr int band = 32;
    for (int y = 0; y < picture.height(); y += band) {
        const QImage rows =
            picture.copy(0, y, picture.width(), std::min(band, picture.height() - y))
                .convertToFormat(work);
        if (rows.isNull())
            return QImage();
        for (int i = 0; i < rows.height(); ++i)
            shrinker.addRow(reinterpret_cast<const QRgb*>(rows.constScanLine(i)));
    }
    return target;
}

void AreaShrinker::addSparseRows(const QRgb* row, int from, int to, QRgb background, int count) {
    count = std::min(count, source_.height() - sourceRow_);
    if (count <= 0)
        return;
    // The background is counted for the whole row at once, as a sum per
    // channel that finishRow spreads over every column (each covers w
    // units); the drawn pixels are added to their columns as their
    // difference from it.
    const qint64 back[4] = {background & 0xFF, (background >> 8) & 0xFF, (background >> 16) & 0xFF,
                            background >> 24};
    const qint64 w = source_.width();
    const qint64 tw = target_.width();
    from = std::clamp(from, 0, source_.width());
    to = std::clamp(to, from, source_.width());
    const int firstColumn = from == to ? 0 : int(from * tw / w);
    const int lastColumn = from == to ? 0 : int((to * tw - 1) / w) + 1;
    qint64* sums = rowSums_.data();
    for (int c = firstColumn; c < lastColumn; ++c) {
        const Span& span = spans_[size_t(c)];
        const int last = span.first + span.count - 1;
        if (span.first >= from && last < to) {
            // The column drawn whole, the common case.
            quint32 whole[4];
            if (opaque_)
                wholeColumn<false>(span, row, quint32(tw), whole);
            else
                wholeColumn<true>(span, row, quint32(tw), whole);
            for (int i = 0; i < 4; ++i)
                sums[4 * c + i] = qint64(whole[i]) - back[i] * w;
            continue;
        }
        // A column the span's ends cut: only its pixels within from to to.
        const int lo = std::max(span.first, from);
        const int hi = std::min(last + 1, to);
        const int inLo = std::max(lo, span.first + 1);
        const int inHi = std::min(hi, last);
        qint64 b = 0, g = 0, r = 0, a = 0;
        for (int x = inLo; x < inHi; ++x) {
            const QRgb p = row[x];
            b += p & 0xFF;
            g += (p >> 8) & 0xFF;
            r += (p >> 16) & 0xFF;
            a += p >> 24;
        }
        b *= tw, g *= tw, r *= tw, a *= tw;
        qint64 covered = inHi > inLo ? qint64(inHi - inLo) * tw : 0;
        const auto add = [&](QRgb p, qint64 share) {
            b += (p & 0xFF) * share;
            g += ((p >> 8) & 0xFF) * share;
            r += ((p >> 16) & 0xFF) * share;
            a += (p >> 24) * share;
            covered += share;
        };
        if (lo == span.first)
            add(row[lo], span.firstShare);
        if (span.count > 1 && hi == last + 1)
            add(row[last], span.lastShare);
        sums[4 * c] = b - back[0] * covered;
        sums[4 * c + 1] = g - back[1] * covered;
        sums[4 * c + 2] = r - back[2] * covered;
        sums[4 * c + 3] = a - back[3] * covered;
    }

    // Rows alike: source row y spans [y * th, (y + 1) * th), target row t
    // spans [t * h, (t + 1) * h). The count rows are spread over the target
    // rows they reach, each taking its share.
    const qint64 h = source_.height();
    const qint64 th = target_.height();
    qint64 start = qint64(sourceRow_) * th;
    const qint64 end = (qint64(sourceRow_) + count) * th;
    qint64* box = boxSums_.data();
    while (start < end) {
        const qint64 rowEnd = qint64(targetRow_ + 1) * h;
        const qint64 take = std::min(end, rowEnd) - start;
        for (size_t i = size_t(4 * firstColumn); i < size_t(4 * lastColumn); ++i)
            box[i] += sums[i] * take;
        for (int i = 0; i < 4; ++i)
            backSums_[i] += back[i] * take;
        start += take;
        if (start == rowEnd)
            finishRow();
    }
    sourceRow_ += count;
}

void AreaShrinker::finishRow() {
    // Every target pixel covers w x h units; its sums are at most 255 of
    // each, well within 64 bits for sides up to 2^24.
    const qint64 w = source_.width();
    const double perUnit = 1.0 / (double(w) * double(source_.height()));
    const int y = order_ == RowOrder::TopDown ? targetRow_ : target_.height() - 1 - targetRow_;
    auto* out = reinterpret_cast<QRgb*>(target_.scanLine(y));
    const qint64 back[4] = {backSums_[0] * w, backSums_[1] * w, backSums_[2] * w, backSums_[3] * w};
    const qint64* s = boxSums_.data();
    const auto mean = [&](int i) {
        return quint32(std::clamp(int(double(back[i] + s[i]) * perUnit + 0.5), 0, 255));
    };
    const int columns = target_.width();
    for (int c = 0; c < columns; ++c, s += 4) {
        const quint32 alpha = opaque_ ? 0xFFu : mean(3);
        out[c] = (alpha << 24) | (mean(2) << 16) | (mean(1) << 8) | mean(0);
    }
    std::fill(boxSums_.begin(), boxSums_.end(), 0);
    std::fill(std::begin(backSums_), std::end(backSums_), 0);
    ++targetRow_;
}
