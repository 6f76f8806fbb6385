#include "camera/motion/motion_detect.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#include <immintrin.h>
#define ORVANA_MOTION_AVX2 1
#endif

namespace orvana::camera {
namespace {

DetectRect clip(DetectRect r, int width, int height) {
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, width);
    r.bottom = std::min(r.bottom, height);
    return r;
}

// The corrected brightness of every current brightness for one detection,
// exactly as CorrectedBrightness computes it.
using CorrectionTable = std::array<std::uint8_t, 256>;

// k = floor(d); true when the table equals the plain shift by k (wrapping
// above 255, stopping at 0), which the wide loop applies. A difference
// could only come from the rounding of y + d in the reference's double.
bool tableIsShift(const CorrectionTable& table, int k) {
    for (int y = 0; y < 256; ++y) {
        const int v = y + k;
        const int expected = v < 0 ? 0 : (v & 255);
        if (table[static_cast<std::size_t>(y)] != expected)
            return false;
    }
    return true;
}

// Pass 1 on one row span: brightness planes and their sums.
void brightnessSpanPlain(const std::uint8_t* cur, const std::uint8_t* ref, int count,
                         std::uint8_t* yCur, std::uint8_t* yRef, std::uint64_t& sumCur,
                         std::uint64_t& sumRef) {
    std::uint32_t sc = 0, sr = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* c = cur + 4 * i;
        const std::uint8_t* r = ref + 4 * i;
        const int yc = Brightness(c[0], c[1], c[2]);
        const int yr = Brightness(r[0], r[1], r[2]);
        yCur[i] = static_cast<std::uint8_t>(yc);
        yRef[i] = static_cast<std::uint8_t>(yr);
        sc += static_cast<std::uint32_t>(yc);
        sr += static_cast<std::uint32_t>(yr);
    }
    sumCur += sc;
    sumRef += sr;
}

// Pass 2 with the table: the number of changed pixels.
std::uint64_t countChangedPlain(const std::uint8_t* yCur, const std::uint8_t* yRef, std::size_t n,
                                const CorrectionTable& table) {
    std::uint64_t changed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int diff = static_cast<int>(yRef[i]) - table[yCur[i]];
        changed += (diff > kChangeLevel || diff < -kChangeLevel) ? 1 : 0;
    }
    return changed;
}

#ifdef ORVANA_MOTION_AVX2

// Brightness of 8 pixels as 8 int32. The weighted sum s is exact in 32-bit
// lanes; s div 1000 is taken as trunc(s * 0.001f + 0.0005f): for s up to
// 255000 the float error stays below 3e-5 while the nearest integer is at
// least 0.0005 away, so the result equals the integer division.
__attribute__((target("avx2,fma"))) inline __m256i brightness8(const std::uint8_t* p) {
    const __m256i weights =
        _mm256_setr_epi16(299, 587, 114, 0, 299, 587, 114, 0, 299, 587, 114, 0, 299, 587, 114, 0);
    const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    const __m256i b =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
    const __m256i s =
        _mm256_hadd_epi32(_mm256_madd_epi16(a, weights), _mm256_madd_epi16(b, weights));
    const __m256 f =
        _mm256_fmadd_ps(_mm256_cvtepi32_ps(s), _mm256_set1_ps(0.001f), _mm256_set1_ps(0.0005f));
    return _mm256_cvttps_epi32(f);
}

// Brightness of 32 pixels as 32 bytes. The bytes come out in a fixed
// permutation of the pixel order; the same for both frames, which is all
// the second pass needs (it only counts).
__attribute__((target("avx2,fma"))) inline __m256i brightness32(const std::uint8_t* p) {
    const __m256i y01 = _mm256_packus_epi32(brightness8(p), brightness8(p + 32));
    const __m256i y23 = _mm256_packus_epi32(brightness8(p + 64), brightness8(p + 96));
    return _mm256_packus_epi16(y01, y23);
}

__attribute__((target("avx2,fma"))) void brightnessSpanAvx2(const std::uint8_t* cur,
                                                            const std::uint8_t* ref, int count,
                                                            std::uint8_t* yCur, std::uint8_t* yRef,
                                                            std::uint64_t& sumCur,
                                                            std::uint64_t& sumRef) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i accCur = zero, accRef = zero;
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i c = brightness32(cur + 4 * i);
        const __m256i r = brightness32(ref + 4 * i);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yCur + i), c);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yRef + i), r);
        accCur = _mm256_add_epi64(accCur, _mm256_sad_epu8(c, zero));
        accRef = _mm256_add_epi64(accRef, _mm256_sad_epu8(r, zero));
    }
    alignas(32) std::uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), accCur);
    sumCur += lanes[0] + lanes[1] + lanes[2] + lanes[3];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), accRef);
    sumRef += lanes[0] + lanes[1] + lanes[2] + lanes[3];
    if (i < count)
        brightnessSpanPlain(cur + 4 * i, ref + 4 * i, count - i, yCur + i, yRef + i, sumCur,
                            sumRef);
}

// Pass 2 for a correction that is a plain shift by k.
__attribute__((target("avx2"))) std::uint64_t countChangedAvx2(const std::uint8_t* yCur,
                                                               const std::uint8_t* yRef,
                                                               std::size_t n, int k,
                                                               const CorrectionTable& table) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i level = _mm256_set1_epi8(static_cast<char>(kChangeLevel));
    const bool up = k >= 0;
    const __m256i shift = _mm256_set1_epi8(static_cast<char>(up ? (k & 255) : std::min(-k, 255)));
    std::uint64_t unchanged = 0;
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(yCur + i));
        const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(yRef + i));
        // Wraps modulo 256 upwards, stops at 0 downwards.
        const __m256i yc = up ? _mm256_add_epi8(c, shift) : _mm256_subs_epu8(c, shift);
        const __m256i diff = _mm256_or_si256(_mm256_subs_epu8(r, yc), _mm256_subs_epu8(yc, r));
        const __m256i same = _mm256_cmpeq_epi8(_mm256_subs_epu8(diff, level), zero);
        unchanged += static_cast<std::uint64_t>(
            __builtin_popcount(static_cast<unsigned>(_mm256_movemask_epi8(same))));
    }
    return (i - unchanged) + countChangedPlain(yCur + i, yRef + i, n - i, table);
}

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return have;
}

#endif

}  // namespace

void MotionScratch::reserve(std::size_t pixels) {
    // 32 bytes of slack: the wide stores never reach past the end.
    if (cur_.size() < pixels + 32) {
        cur_.assign(pixels + 32, 0);
        ref_.assign(pixels + 32, 0);
    }
}

int CorrectedBrightness(int y, double d) {
    const double v = std::floor(static_cast<double>(y) + d);
    if (v < 0)
        return 0;
    return static_cast<int>(std::fmod(v, 256.0));
}

double MotionRatio(const std::uint8_t* cur, const std::uint8_t* ref, int width, int height,
                   DetectRect rect, MotionScratch& scratch) {
    const DetectRect r = clip(rect, width, height);
    if (r.right <= r.left || r.bottom <= r.top)
        return std::numeric_limits<double>::quiet_NaN();
    const int spanWidth = r.right - r.left;
    const std::size_t n =
        static_cast<std::size_t>(spanWidth) * static_cast<std::size_t>(r.bottom - r.top);
    scratch.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));

#ifdef ORVANA_MOTION_AVX2
    const bool wide = haveAvx2();
#else
    const bool wide = false;
#endif
    auto span = [&](const std::uint8_t* c, const std::uint8_t* f, int count, std::uint8_t* yc,
                    std::uint8_t* yr, std::uint64_t& sc, std::uint64_t& sr) {
#ifdef ORVANA_MOTION_AVX2
        if (wide) {
            brightnessSpanAvx2(c, f, count, yc, yr, sc, sr);
            return;
        }
#endif
        brightnessSpanPlain(c, f, count, yc, yr, sc, sr);
    };

    // Pass 1: brightness planes of the rectangle, packed row after row, and
    // their sums. A rectangle as wide as the frame is one long span.
    std::uint64_t sumCur = 0, sumRef = 0;
    std::uint8_t* yCur = scratch.cur_.data();
    std::uint8_t* yRef = scratch.ref_.data();
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    const std::size_t first =
        static_cast<std::size_t>(r.top) * stride + static_cast<std::size_t>(r.left) * 4;
    if (spanWidth == width) {
        span(cur + first, ref + first, static_cast<int>(n), yCur, yRef, sumCur, sumRef);
    } else {
        for (int y = r.top; y < r.bottom; ++y) {
            const std::size_t at = first + static_cast<std::size_t>(y - r.top) * stride;
            const std::size_t out = static_cast<std::size_t>(y - r.top) * spanWidth;
            span(cur + at, ref + at, spanWidth, yCur + out, yRef + out, sumCur, sumRef);
        }
    }

    // Both sums start at 1.0; integers below 2^53 make the same doubles.
    const double nd = static_cast<double>(n);
    const double meanCur = (1.0 + static_cast<double>(sumCur)) / nd;
    const double meanRef = (1.0 + static_cast<double>(sumRef)) / nd;
    const double d = meanRef - meanCur;

    // Pass 2: corrected current brightness against the reference.
    CorrectionTable table;
    for (int y = 0; y < 256; ++y)
        table[static_cast<std::size_t>(y)] = static_cast<std::uint8_t>(CorrectedBrightness(y, d));
    std::uint64_t changed = 0;
#ifdef ORVANA_MOTION_AVX2
    const int k = static_cast<int>(std::floor(d));
    if (wide && tableIsShift(table, k))
        changed = countChangedAvx2(yCur, yRef, n, k, table);
    else
#endif
        changed = countChangedPlain(yCur, yRef, n, table);

    const double ratio = static_cast<double>(changed) / nd;
    return ratio < kMotionFloor ? kMotionFloor : ratio;
}

double MotionRatioReference(const std::uint8_t* cur, const std::uint8_t* ref, int width, int height,
                            DetectRect rect) {
    const DetectRect r = clip(rect, width, height);
    auto Y = [width](const std::uint8_t* frame, int x, int y) {
        const std::uint8_t* p = frame + (static_cast<std::size_t>(y) * width + x) * 4;
        return Brightness(p[0], p[1], p[2]);
    };
    double sumCur = 1.0, sumRef = 1.0;
    long n = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            sumCur += Y(cur, x, y);
            sumRef += Y(ref, x, y);
            ++n;
        }
    }
    if (n == 0)
        return std::numeric_limits<double>::quiet_NaN();
    const double meanCur = sumCur / static_cast<double>(n);
    const double meanRef = sumRef / static_cast<double>(n);
    long changed = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const int yc = CorrectedBrightness(Y(cur, x, y), meanRef - meanCur);
            if (std::abs(Y(ref, x, y) - yc) > kChangeLevel)
                ++changed;
        }
    }
    const double ratio = static_cast<double>(changed) / static_cast<double>(n);
    return ratio < kMotionFloor ? kMotionFloor : ratio;
}

}  // namespace orvana::camera
