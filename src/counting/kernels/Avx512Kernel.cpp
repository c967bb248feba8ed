#include "Kernels.h"
#include "MaskMath.h"

// AVX-512BW: one compare gives the 64-bit mask of 64 bytes directly. Used
// only when the CPU reports AVX-512BW.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#define BRINMOOR_AVX512 __attribute__((target("avx512f,avx512bw,bmi,bmi2,popcnt")))

namespace brinmoor::counting::kernels {

namespace {

BRINMOOR_AVX512 inline __m512i loadu(const unsigned char *p)
{
    return _mm512_loadu_si512(p);
}

BRINMOOR_AVX512 std::uint64_t countEndsAvx512(const unsigned char *p, std::size_t n)
{
    const __m512i cr = _mm512_set1_epi8('\r');
    const __m512i lf = _mm512_set1_epi8('\n');
    std::uint64_t total = 0;
    std::size_t i = 0;
    for (; n - i >= 64; i += 64) {
        const __m512i v = loadu(p + i);
        const __mmask64 isCr = _mm512_cmpeq_epi8_mask(v, cr);
        const __mmask64 isLf = _mm512_cmpeq_epi8_mask(v, lf);
        const __mmask64 crBefore = _mm512_cmpeq_epi8_mask(loadu(p + i - 1), cr);
        total += static_cast<std::uint64_t>(_mm_popcnt_u64(isCr | (isLf & ~crBefore)));
    }
    for (; i < n; ++i)
        total += p[i] == '\r' || (p[i] == '\n' && p[static_cast<std::ptrdiff_t>(i) - 1] != '\r');
    return total;
}

BRINMOOR_AVX512 std::uint64_t countNonBlankEndsAvx512(const unsigned char *p, std::size_t n, bool &carry)
{
    const __m512i cr = _mm512_set1_epi8('\r');
    const __m512i lf = _mm512_set1_epi8('\n');
    const __m512i sp = _mm512_set1_epi8(' ');
    std::uint64_t total = 0;
    bool crBefore = p[-1] == '\r';
    for (std::size_t i = 0; i < n; i += 64) {
        const std::size_t count = n - i < 64 ? n - i : 64;
        // Bytes past the data are read (the buffer contract allows it) and masked out.
        const __mmask64 valid = validBits(count);
        const __m512i v = loadu(p + i);
        const std::uint64_t crMask = _mm512_mask_cmpeq_epi8_mask(valid, v, cr);
        total += nonBlankStep(_mm512_mask_cmpeq_epi8_mask(valid, v, lf), crMask,
                              _mm512_mask_cmpeq_epi8_mask(valid, v, sp), count, crBefore, carry);
        crBefore = (crMask >> 63) != 0;
    }
    return total;
}

struct Broadcast
{
    __m512i firstOr, first, lastOr, last;
    std::ptrdiff_t back;
};

BRINMOOR_AVX512 inline Broadcast broadcast(const Needle &nd)
{
    return {_mm512_set1_epi8(static_cast<char>(nd.firstOr)), _mm512_set1_epi8(static_cast<char>(nd.first)),
            _mm512_set1_epi8(static_cast<char>(nd.lastOr)), _mm512_set1_epi8(static_cast<char>(nd.last)),
            static_cast<std::ptrdiff_t>(nd.length) - 1};
}

BRINMOOR_AVX512 void masksAvx512(const unsigned char *p, std::size_t n, const Needle *needles,
                                 std::size_t needleCount, Masks *out)
{
    constexpr std::size_t kHoisted = 8;
    Broadcast hoisted[kHoisted];
    for (std::size_t k = 0; k < needleCount && k < kHoisted; ++k)
        hoisted[k] = broadcast(needles[k]);
    const __m512i lf = _mm512_set1_epi8('\n');
    const __m512i cr = _mm512_set1_epi8('\r');
    const __m512i sp = _mm512_set1_epi8(' ');
    const __m512i longS = _mm512_set1_epi8(static_cast<char>(0xC5));
    const __m512i kelvin = _mm512_set1_epi8(static_cast<char>(0xE2));

    for (std::size_t w = 0; w < n; w += 64) {
        const unsigned char *q = p + w;
        Masks &m = out[w / 64];
        // Bytes past the data are read (the buffer contract allows it) and masked out.
        const __mmask64 valid = validBits(n - w);
        const __m512i v = loadu(q);
        m.lf = _mm512_mask_cmpeq_epi8_mask(valid, v, lf);
        m.cr = _mm512_mask_cmpeq_epi8_mask(valid, v, cr);
        m.sp = _mm512_mask_cmpeq_epi8_mask(valid, v, sp);
        m.high = _mm512_movepi8_mask(v) & valid;
        m.suspects = m.high
            ? (_mm512_mask_cmpeq_epi8_mask(valid, v, longS) | _mm512_mask_cmpeq_epi8_mask(valid, v, kelvin))
            : 0;
        __mmask64 candidates = 0;
        for (std::size_t k = 0; k < needleCount; ++k) {
            const Broadcast b = k < kHoisted ? hoisted[k] : broadcast(needles[k]);
            const __mmask64 last = _mm512_cmpeq_epi8_mask(_mm512_or_si512(v, b.lastOr), b.last);
            candidates |= _mm512_mask_cmpeq_epi8_mask(last, _mm512_or_si512(loadu(q - b.back), b.firstOr), b.first);
        }
        m.candidates = candidates & valid;
    }
}

} // namespace

const Kernel *avx512Kernel()
{
    static const Kernel kernel{"avx512", countEndsAvx512, countNonBlankEndsAvx512, masksAvx512};
    static const bool supported = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
        && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    return supported ? &kernel : nullptr;
}

} // namespace brinmoor::counting::kernels

#else

namespace brinmoor::counting::kernels {
const Kernel *avx512Kernel() { return nullptr; }
} // namespace brinmoor::counting::kernels

#endif
