#include "Kernels.h"
#include "MaskMath.h"

// AVX2: 32 bytes per compare. Built into every x86-64 binary through the
// target attribute and used only when the CPU reports AVX2.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#define BRINMOOR_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

namespace brinmoor::counting::kernels {

namespace {

BRINMOOR_AVX2 inline __m256i loadu(const unsigned char *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

BRINMOOR_AVX2 inline std::uint64_t horizontalSum(__m256i bytes)
{
    const __m256i sums = _mm256_sad_epu8(bytes, _mm256_setzero_si256());
    return static_cast<std::uint64_t>(_mm256_extract_epi64(sums, 0)) + _mm256_extract_epi64(sums, 1)
        + _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3);
}

// Ends of 32 bytes as 0xFF bytes: CR, or LF whose previous byte is not CR.
BRINMOOR_AVX2 inline __m256i endBytes(const unsigned char *p, __m256i cr, __m256i lf)
{
    const __m256i v = loadu(p);
    const __m256i before = loadu(p - 1);
    const __m256i isCr = _mm256_cmpeq_epi8(v, cr);
    const __m256i isLf = _mm256_cmpeq_epi8(v, lf);
    return _mm256_or_si256(isCr, _mm256_andnot_si256(_mm256_cmpeq_epi8(before, cr), isLf));
}

BRINMOOR_AVX2 std::uint64_t countEndsAvx2(const unsigned char *p, std::size_t n)
{
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    std::uint64_t total = 0;
    std::size_t i = 0;
    // Byte counters (subtracting the 0xFF compare results) are summed out
    // before any of them can wrap: at most 255 steps of one per lane.
    while (n - i >= 128) {
        __m256i acc0 = _mm256_setzero_si256();
        __m256i acc1 = _mm256_setzero_si256();
        for (int step = 0; step < 127 && n - i >= 128; ++step, i += 128) {
            acc0 = _mm256_sub_epi8(acc0, endBytes(p + i, cr, lf));
            acc1 = _mm256_sub_epi8(acc1, endBytes(p + i + 32, cr, lf));
            acc0 = _mm256_sub_epi8(acc0, endBytes(p + i + 64, cr, lf));
            acc1 = _mm256_sub_epi8(acc1, endBytes(p + i + 96, cr, lf));
        }
        total += horizontalSum(acc0) + horizontalSum(acc1);
    }
    for (; n - i >= 32; i += 32)
        total += static_cast<std::uint64_t>(
            _mm_popcnt_u32(static_cast<unsigned>(_mm256_movemask_epi8(endBytes(p + i, cr, lf)))));
    for (; i < n; ++i)
        total += p[i] == '\r' || (p[i] == '\n' && p[static_cast<std::ptrdiff_t>(i) - 1] != '\r');
    return total;
}

BRINMOOR_AVX2 inline std::uint64_t mask64(const unsigned char *p, __m256i value)
{
    const auto lo = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(loadu(p), value)));
    const auto hi = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(loadu(p + 32), value)));
    return lo | (std::uint64_t{hi} << 32);
}

BRINMOOR_AVX2 std::uint64_t countNonBlankEndsAvx2(const unsigned char *p, std::size_t n, bool &carry)
{
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i sp = _mm256_set1_epi8(' ');
    std::uint64_t total = 0;
    bool crBefore = p[-1] == '\r';
    std::size_t i = 0;
    for (; i < n; i += 64) {
        std::uint64_t lfMask, crMask, spMask;
        const std::size_t count = n - i < 64 ? n - i : 64;
        if (count == 64) {
            lfMask = mask64(p + i, lf);
            crMask = mask64(p + i, cr);
            spMask = mask64(p + i, sp);
        } else {
            Masks m;
            scalarMasks(p + i, count, nullptr, 0, m);
            lfMask = m.lf;
            crMask = m.cr;
            spMask = m.sp;
        }
        total += nonBlankStep(lfMask, crMask, spMask, count, crBefore, carry);
        crBefore = (crMask >> 63) != 0;
    }
    return total;
}

BRINMOOR_AVX2 inline std::uint64_t both(__m256i value, __m256i a, __m256i b)
{
    const auto lo = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, value)));
    const auto hi = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, value)));
    return lo | (std::uint64_t{hi} << 32);
}

// A needle's compare values, broadcast once per call.
struct Broadcast
{
    __m256i firstOr, first, lastOr, last;
    std::ptrdiff_t back;
};

BRINMOOR_AVX2 inline Broadcast broadcast(const Needle &nd)
{
    return {_mm256_set1_epi8(static_cast<char>(nd.firstOr)), _mm256_set1_epi8(static_cast<char>(nd.first)),
            _mm256_set1_epi8(static_cast<char>(nd.lastOr)), _mm256_set1_epi8(static_cast<char>(nd.last)),
            static_cast<std::ptrdiff_t>(nd.length) - 1};
}

BRINMOOR_AVX2 inline __m256i candidates32(const unsigned char *p, __m256i v, const Broadcast &b)
{
    return _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(v, b.lastOr), b.last),
                            _mm256_cmpeq_epi8(_mm256_or_si256(loadu(p - b.back), b.firstOr), b.first));
}

BRINMOOR_AVX2 void masksAvx2(const unsigned char *p, std::size_t n, const Needle *needles, std::size_t needleCount,
                             Masks *out)
{
    constexpr std::size_t kHoisted = 8;
    Broadcast hoisted[kHoisted];
    for (std::size_t k = 0; k < needleCount && k < kHoisted; ++k)
        hoisted[k] = broadcast(needles[k]);
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i sp = _mm256_set1_epi8(' ');
    const __m256i longS = _mm256_set1_epi8(static_cast<char>(0xC5));
    const __m256i kelvin = _mm256_set1_epi8(static_cast<char>(0xE2));

    std::size_t w = 0;
    for (; n - w >= 64; w += 64) {
        const unsigned char *q = p + w;
        Masks &m = out[w / 64];
        const __m256i v0 = loadu(q);
        const __m256i v1 = loadu(q + 32);
        m.lf = both(lf, v0, v1);
        m.cr = both(cr, v0, v1);
        m.sp = both(sp, v0, v1);
        m.high = static_cast<std::uint32_t>(_mm256_movemask_epi8(v0))
            | (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(v1))} << 32);
        m.suspects = m.high ? both(longS, v0, v1) | both(kelvin, v0, v1) : 0;
        __m256i c0 = _mm256_setzero_si256();
        __m256i c1 = _mm256_setzero_si256();
        for (std::size_t k = 0; k < needleCount; ++k) {
            const Broadcast b = k < kHoisted ? hoisted[k] : broadcast(needles[k]);
            c0 = _mm256_or_si256(c0, candidates32(q, v0, b));
            c1 = _mm256_or_si256(c1, candidates32(q + 32, v1, b));
        }
        m.candidates = static_cast<std::uint32_t>(_mm256_movemask_epi8(c0))
            | (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(c1))} << 32);
    }
    if (w < n)
        scalarMasks(p + w, n - w, needles, needleCount, out[w / 64]);
}

} // namespace

const Kernel *avx2Kernel()
{
    static const Kernel kernel{"avx2", countEndsAvx2, countNonBlankEndsAvx2, masksAvx2};
    static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2")
        && __builtin_cpu_supports("popcnt");
    return supported ? &kernel : nullptr;
}

} // namespace brinmoor::counting::kernels

#else

namespace brinmoor::counting::kernels {
const Kernel *avx2Kernel() { return nullptr; }
} // namespace brinmoor::counting::kernels

#endif
