#include "picture/raster/ScaledTapRow.h"

#include <algorithm>
#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define KAVELO_X86 1
#endif

namespace {
constexpr quint64 limit = quint64(1) << 32;

// ceil(a x 2^shift / units), or limit when it is that or more. Units are at
// most 2^48 (sides of 2^24), so the remainder shifted 16 bits still fits.
quint64 scaledUp(quint64 a, int shift, quint64 units) {
    quint64 q = a / units;
    quint64 r = a % units;
    for (int left = shift; left > 0 && q < limit;) {
        const int k = std::min(left, 16);
        r <<= k;
        q = (q << k) + r / units;
        r %= units;
        left -= k;
    }
    return std::min(q + (r != 0), limit);
}

#ifdef KAVELO_X86
// A target pixel's four channels in 64-bit lanes, blue and red in the
// even ones, green and alpha in the odd, each a mean at bit 0 of its lane,
// packed in the low 32 bits: b | g << 8 at byte 0, r | a << 8 at byte 8
// brought to byte 2.
inline __m128i packed(__m128i even, __m128i odd) {
    const __m128i x = _mm_or_si128(even, _mm_slli_epi64(odd, 8));
    return _mm_or_si128(x, _mm_srli_si128(x, 6));
}
#endif
} // namespace

ScaledTapRow::ScaledTapRow(int columns, quint64 maxWeight, quint64 units, quint64 columnHeight,
                           Simd simd)
    : units_(units) {
    // The largest shift whose weights stay below 2^32; 2^55 at most keeps
    // the sums (about 255 x 2^shift) within 64 bits.
    int shift = 55;
    while (shift > 0 && scaledUp(maxWeight, shift, units) >= limit)
        --shift;
    // Over by less than three columns' sums / 2^shift: under 1/256 of a
    // level. Then the mean is at most 255 + 1/2 + 1/256 and never needs
    // a clamp.
    if (shift > 0 && 3 * 255 * columnHeight * 256 < (quint64(1) << shift)) {
        shift_ = shift;
        taps_.resize(size_t(columns));
    }
#ifdef KAVELO_X86
    avx2_ = simd == Simd::Widest && __builtin_cpu_supports("avx2");
#else
    Q_UNUSED(simd);
#endif
}

void ScaledTapRow::setTap(int column, int first, const quint32 weight[3]) {
    Tap& tap = taps_[size_t(column)];
    tap.first = first;
    for (int i = 0; i < 3; ++i)
        tap.weight[i] = quint32(scaledUp(weight[i], shift_, units_));
}

namespace {
#ifdef KAVELO_X86
// One pixel from its taps' sums at p, in the low 32 bits but for its alpha:
// each tap's four sums in one load, blue and red multiplied in the even
// 32-bit lanes, green and alpha shifted down into them.
inline __m128i pixelSse2(const quint32* p, const __m128i weights, __m128i half, __m128i shift) {
    __m128i even = half;
    __m128i odd = half;
    const auto tap = [&](int i, __m128i weight) {
        const __m128i sums = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * i));
        even = _mm_add_epi64(even, _mm_mul_epu32(sums, weight));
        odd = _mm_add_epi64(odd, _mm_mul_epu32(_mm_srli_epi64(sums, 32), weight));
    };
    tap(0, _mm_shuffle_epi32(weights, _MM_SHUFFLE(0, 0, 0, 0)));
    tap(1, _mm_shuffle_epi32(weights, _MM_SHUFFLE(1, 1, 1, 1)));
    tap(2, _mm_shuffle_epi32(weights, _MM_SHUFFLE(2, 2, 2, 2)));
    return packed(_mm_srl_epi64(even, shift), _mm_srl_epi64(odd, shift));
}

// The four sums at a and those at b, one in each 128-bit half.
__attribute__((target("avx2"))) inline __m256i both(const quint32* a, const quint32* b) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
}

// Pixels c and c + 1 as pixelSse2 does one, their weights and their
// taps' sums in the two 128-bit halves; the pixels in 32-bit lanes 0 and 4.
// taps as ScaledTapRow's, four 32-bit values each with the first source
// column last.
__attribute__((target("avx2"))) inline __m256i pairAvx2(const quint32* sums, const qint32* taps,
                                                        int c, __m256i half, __m128i shift) {
    const __m256i weights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(taps + 4 * c));
    const quint32* a = sums + 4 * taps[4 * c + 3];
    const quint32* b = sums + 4 * taps[4 * c + 7];
    __m256i even = half;
    __m256i odd = half;
    for (int i = 0; i < 3; ++i) {
        const __m256i tap = both(a + 4 * i, b + 4 * i);
        // The weight broadcast within each half; the shuffle wants a
        // constant, which the unrolled loop gives it.
        const __m256i weight = i == 0   ? _mm256_shuffle_epi32(weights, _MM_SHUFFLE(0, 0, 0, 0))
                               : i == 1 ? _mm256_shuffle_epi32(weights, _MM_SHUFFLE(1, 1, 1, 1))
                                        : _mm256_shuffle_epi32(weights, _MM_SHUFFLE(2, 2, 2, 2));
        even = _mm256_add_epi64(even, _mm256_mul_epu32(tap, weight));
        odd = _mm256_add_epi64(odd, _mm256_mul_epu32(_mm256_srli_epi64(tap, 32), weight));
    }
    even = _mm256_srl_epi64(even, shift);
    odd = _mm256_srl_epi64(odd, shift);
    const __m256i x = _mm256_or_si256(even, _mm256_slli_epi64(odd, 8));
    return _mm256_or_si256(x, _mm256_srli_si256(x, 6));
}

// Four pixels at a time, two pairs.
__attribute__((target("avx2"))) void writeAvx2(const quint32* sums, const qint32* taps, int columns,
                                               int shift, QRgb* out) {
    const __m256i half = _mm256_set1_epi64x(qint64(1) << (shift - 1));
    const __m128i count = _mm_cvtsi32_si128(shift);
    const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
    // Lanes 0, 4 of the first pair and of the second, interleaved.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0);
    int c = 0;
    for (; c + 4 <= columns; c += 4) {
        const __m256i x = _mm256_unpacklo_epi32(pairAvx2(sums, taps, c, half, count),
                                                pairAvx2(sums, taps, c + 2, half, count));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + c),
            _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_or_si256(x, opaque), order)));
    }
    for (; c < columns; ++c) {
        const __m128i weights = _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps + 4 * c));
        const __m128i pixel =
            pixelSse2(sums + 4 * taps[4 * c + 3], weights, _mm256_castsi256_si128(half), count);
        out[c] = quint32(_mm_cvtsi128_si32(pixel)) | 0xFF000000u;
    }
}
#endif
} // namespace

void ScaledTapRow::write(const quint32* sums, QRgb* out) const {
    const int columns = int(taps_.size());
    const Tap* taps = taps_.data();
#ifdef KAVELO_X86
    if (avx2_) {
        writeAvx2(sums, reinterpret_cast<const qint32*>(taps), columns, shift_, out);
        return;
    }
    const __m128i half = _mm_set1_epi64x(qint64(1) << (shift_ - 1));
    const __m128i count = _mm_cvtsi32_si128(shift_);
    const auto pixel = [&](int c) {
        return pixelSse2(sums + 4 * taps[c].first,
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps + c)), half, count);
    };
    // Two pixels a store.
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    int c = 0;
    for (; c + 2 <= columns; c += 2)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + c),
                         _mm_or_si128(_mm_unpacklo_epi32(pixel(c), pixel(c + 1)), opaque));
    if (c < columns)
        out[c] = quint32(_mm_cvtsi128_si32(pixel(c))) | 0xFF000000u;
#else
    const quint64 half = quint64(1) << (shift_ - 1);
    for (int c = 0; c < columns; ++c) {
        const Tap& tap = taps[c];
        const quint32* p = sums + 4 * tap.first;
        quint32 pixel = 0xFF000000u;
        for (int i = 0; i < 3; ++i) {
            const quint64 sum = half + quint64(p[i]) * tap.weight[0] +
                                quint64(p[4 + i]) * tap.weight[1] +
                                quint64(p[8 + i]) * tap.weight[2];
            pixel |= quint32(sum >> shift_) << (8 * i);
        }
        out[c] = pixel;
    }
#endif
}
