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

BRINMOOR_AVX512 void masksAvx512(const unsigned char *p, std::size_t n, const Needle *needles,
                                 std::size_t needleCount, Masks &out)
{
    const __mmask64 valid = validBits(n);
    const __m512i v = loadu(p);
    out.lf = _mm512_mask_cmpeq_epi8_mask(valid, v, _mm512_set1_epi8('\n'));
    out.cr = _mm512_mask_cmpeq_epi8_mask(valid, v, _mm512_set1_epi8('\r'));
    out.sp = _mm512_mask_cmpeq_epi8_mask(valid, v, _mm512_set1_epi8(' '));
    out.high = _mm512_movepi8_mask(v) & valid;
    out.suspects = out.high
        ? (_mm512_mask_cmpeq_epi8_mask(valid, v, _mm512_set1_epi8(static_cast<char>(0xC5)))
           | _mm512_mask_cmpeq_epi8_mask(valid, v, _mm512_set1_epi8(static_cast<char>(0xE2))))
        : 0;
    __mmask64 candidates = 0;
    for (std::size_t k = 0; k < needleCount; ++k) {
        const Needle &nd = needles[k];
        const __m512i last = _mm512_or_si512(v, _mm512_set1_epi8(static_cast<char>(nd.lastOr)));
        const __m512i first = _mm512_or_si512(loadu(p - (nd.length - 1)),
                                              _mm512_set1_epi8(static_cast<char>(nd.firstOr)));
        candidates |= _mm512_mask_cmpeq_epi8_mask(
            _mm512_cmpeq_epi8_mask(last, _mm512_set1_epi8(static_cast<char>(nd.last))), first,
            _mm512_set1_epi8(static_cast<char>(nd.first)));
    }
    out.candidates = candidates & valid;
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
