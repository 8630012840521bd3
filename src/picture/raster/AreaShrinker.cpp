#include "picture/raster/AreaShrinker.h"

#include "picture/raster/LargeImage.h"

#include <algorithm>
#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define KAVELO_X86 1
#endif

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

AreaShrinker::AreaShrinker(QSize source, QImage& target, RowOrder order, ScaledTapRow::Simd simd)
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
    // Below twice narrower, the source columns' sums take at most twice
    // the target's width (workingBytes counts them), and each target column
    // covers at most three of them.
    columnsFirst_ = opaque_ && w < 2 * tw;
    if (columnsFirst_) {
        // Two columns more than there are, read with no weight by the
        // last target column's missing taps.
        columnSums_.resize(size_t(w + 2) * 4);
        taps_.resize(size_t(tw));
        // A tap weighs at most tw; a source column's sums are at most 255
        // x h.
        const quint64 h = quint64(source.height());
        scaledTaps_.emplace(int(tw), quint64(tw), quint64(w) * h, h, simd);
#ifdef KAVELO_X86
        avx2_ = simd == ScaledTapRow::Simd::Widest && __builtin_cpu_supports("avx2");
#endif
        if (!scaledTaps_->isValid())
            scaledTaps_.reset();
        for (size_t c = 0; c < taps_.size(); ++c) {
            const Span& span = spans_[c];
            Taps& taps = taps_[c];
            taps.first = span.first;
            taps.weight[0] = span.firstShare;
            taps.weight[1] = span.count == 3 ? quint32(tw) : span.count == 2 ? span.lastShare : 0;
            taps.weight[2] = span.count == 3 ? span.lastShare : 0;
            if (scaledTaps_)
                scaledTaps_->setTap(int(c), taps.first, taps.weight);
        }
    }
}

// The scaled taps take as much as the taps: four 32-bit values a column.
qint64 AreaShrinker::workingBytes(QSize target) {
    return qint64(target.width()) * qint64(sizeof(Span) + 8 * sizeof(qint64) +
                                           2 * 4 * sizeof(quint32) + 2 * sizeof(Taps)) +
           2 * 4 * qint64(sizeof(quint32));
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
        boxAdded_ = true;
        for (int i = 0; i < 4; ++i)
            backSums_[i] += back[i] * take;
        start += take;
        if (start == rowEnd)
            finishRow();
    }
    sourceRow_ += count;
}

#ifdef KAVELO_X86
namespace {
// sums[i] = bytes[i] x share (First) or += it, for i below count; returns
// how many it did, the rest left to the caller. Where AVX2 is there:
// eight channels at a time widened straight to 32 bits.
template <bool First>
__attribute__((target("avx2"))) size_t addBytesAvx2(const uchar* bytes, quint32* sums, size_t count,
                                                    quint32 share) {
    const __m256i factor = _mm256_set1_epi32(int(share));
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        for (size_t half = 0; half < 16; half += 8) {
            const __m256i wide = _mm256_cvtepu8_epi32(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + i + half)));
            __m256i product = _mm256_mullo_epi32(wide, factor);
            auto* at = reinterpret_cast<__m256i*>(sums + i + half);
            if (!First)
                product = _mm256_add_epi32(product, _mm256_loadu_si256(at));
            _mm256_storeu_si256(at, product);
        }
    }
    return i;
}

// The same in SSE2, sixteen channels at a time: the bytes widened to 16
// bits, multiplied by the share (at most 16 bits) into 32-bit products
// from their low and high halves.
template <bool First>
size_t addBytesSse2(const uchar* bytes, quint32* sums, size_t count, quint32 share) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i factor = _mm_set1_epi16(short(quint16(share)));
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        for (int half = 0; half < 2; ++half) {
            const __m128i wide = half ? _mm_unpackhi_epi8(in, zero) : _mm_unpacklo_epi8(in, zero);
            const __m128i low = _mm_mullo_epi16(wide, factor);
            const __m128i high = _mm_mulhi_epu16(wide, factor);
            auto* at = reinterpret_cast<__m128i*>(sums + i + 8 * half);
            __m128i first = _mm_unpacklo_epi16(low, high);
            __m128i second = _mm_unpackhi_epi16(low, high);
            if (!First) {
                first = _mm_add_epi32(first, _mm_loadu_si128(at));
                second = _mm_add_epi32(second, _mm_loadu_si128(at + 1));
            }
            _mm_storeu_si128(at, first);
            _mm_storeu_si128(at + 1, second);
        }
    }
    return i;
}
} // namespace
#endif

void AreaShrinker::addToColumns(const QRgb* row, quint32 share) {
    const auto* bytes = reinterpret_cast<const uchar*>(row);
    quint32* sums = columnSums_.data();
    const size_t count = size_t(source_.width()) * 4;
    // A target row's first source row is written over the last row's sums
    // rather than added to them after clearing them: no pass of its own.
    const bool first = !columnsAdded_;
    size_t i = 0;
#ifdef KAVELO_X86
    if (avx2_)
        i = first ? addBytesAvx2<true>(bytes, sums, count, share)
                  : addBytesAvx2<false>(bytes, sums, count, share);
    else if (share <= 0xFFFF)
        i = first ? addBytesSse2<true>(bytes, sums, count, share)
                  : addBytesSse2<false>(bytes, sums, count, share);
#endif
    for (; i < count; ++i)
        sums[i] = (first ? 0 : sums[i]) + quint32(bytes[i]) * share;
    columnsAdded_ = true;
}

void AreaShrinker::addOpaqueRow(const QRgb* row) {
    if (sourceRow_ >= source_.height())
        return;
    // Source row y spans [y * th, (y + 1) * th), target row t spans
    // [t * h, (t + 1) * h): a source row falls in one target row or, as the
    // target is no higher than the source, across the end of one into the
    // next.
    const qint64 th = target_.height();
    const qint64 start = qint64(sourceRow_) * th;
    const qint64 end = start + th;
    const qint64 rowEnd = qint64(targetRow_ + 1) * source_.height();
    addToColumns(row, quint32(std::min(end, rowEnd) - start));
    if (end >= rowEnd) {
        finishRow();
        if (end > rowEnd)
            addToColumns(row, quint32(end - rowEnd));
    }
    ++sourceRow_;
}

void AreaShrinker::finishRow() {
    const qint64 w = source_.width();
    // Divided by the units (the source's pixels) as a multiply by their
    // fixed-point inverse, a tenth of the time of the doubles: over by at
    // most 255 x units / 2^55, under a hundredth of a level up to 2^40
    // units; in doubles beyond.
    const quint64 units = quint64(w) * quint64(source_.height());
    constexpr int shift = 55;
    const bool fixed = units <= (quint64(1) << 40);
    // Rounded up, so that a mean of exactly a half rounds up as well.
    const quint64 inverse = ((quint64(1) << shift) + units - 1) / units;
    const quint64 half = quint64(1) << (shift - 1);
    // A channel's mean from its sum over the units, in fixed point.
    const auto level = [inverse, half](quint64 sum) {
        return quint32(std::min<quint64>((sum * inverse + half) >> shift, 255));
    };
    const int y = order_ == RowOrder::TopDown ? targetRow_ : target_.height() - 1 - targetRow_;
    auto* out = reinterpret_cast<QRgb*>(target_.scanLine(y));
    if (columnsAdded_ && !boxAdded_ && scaledTaps_) {
        // Only the columns' sums make this row, as for every row of a
        // decoder's opaque picture: each target pixel straight from its
        // three taps, without the row of 64-bit sums in between.
        scaledTaps_->write(columnSums_.data(), out);
        columnsAdded_ = false;
        ++targetRow_;
        return;
    }
    if (columnsAdded_) {
        // The source columns' sums spread over the target columns, each
        // taking its share, into the sums the other rows add to: three
        // taps a column, the missing ones weighing nothing.
        const quint32* sums = columnSums_.data();
        qint64* box = boxSums_.data();
        const Taps* taps = taps_.data();
        for (int c = 0; c < target_.width(); ++c, box += 4, ++taps) {
            const quint32* p = sums + 4 * taps->first;
            for (int i = 0; i < 3; ++i)
                box[i] +=
                    qint64(quint64(p[i]) * taps->weight[0] + quint64(p[4 + i]) * taps->weight[1] +
                           quint64(p[8 + i]) * taps->weight[2]);
        }
        columnsAdded_ = false;
    }
    // Every target pixel covers w x h units; its sums are at most 255 of
    // each, well within 64 bits for sides up to 2^24.
    const double perUnit = 1.0 / (double(w) * double(source_.height()));
    const qint64 back[4] = {backSums_[0] * w, backSums_[1] * w, backSums_[2] * w, backSums_[3] * w};
    const qint64* s = boxSums_.data();
    // The sums are of pixels times their shares, never below 0.
    const auto mean = [&](int i) {
        const qint64 sum = back[i] + s[i];
        if (fixed)
            return level(quint64(sum));
        return quint32(std::clamp(int(double(sum) * perUnit + 0.5), 0, 255));
    };
    const int columns = target_.width();
    if (fixed && opaque_) {
        // The common case without its tests in the loop.
        for (int c = 0; c < columns; ++c, s += 4) {
            quint32 pixel = 0xFF000000u;
            for (int i = 0; i < 3; ++i)
                pixel |= level(quint64(back[i] + s[i])) << (8 * i);
            out[c] = pixel;
        }
    } else {
        for (int c = 0; c < columns; ++c, s += 4) {
            const quint32 alpha = opaque_ ? 0xFFu : mean(3);
            out[c] = (alpha << 24) | (mean(2) << 16) | (mean(1) << 8) | mean(0);
        }
    }
    std::fill(boxSums_.begin(), boxSums_.end(), 0);
    std::fill(std::begin(backSums_), std::end(backSums_), 0);
    boxAdded_ = false;
    ++targetRow_;
}
