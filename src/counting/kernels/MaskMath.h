#pragma once

// Bit arithmetic shared by the kernels: from byte masks to line ends.

#include "Kernels.h"

#include <bit>
#include <cstdint>

namespace brinmoor::counting::kernels {

inline std::uint64_t validBits(std::size_t n)
{
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// Line ends: every CR, and every LF whose previous byte is not a CR (that LF
// belongs to the CR LF pair and is neither an end nor line content).
inline std::uint64_t lineEnds(std::uint64_t lf, std::uint64_t cr, bool crBefore)
{
    return cr | (lf & ~((cr << 1) | std::uint64_t{crBefore}));
}

// Ends of the lines that hold a non-blank byte. In a line's run of non-end
// bits the add's carry is created by the first non-blank byte and travels up
// to the end bit; a line without one leaves its end bit clear. Bits past the
// data must have A = 1, N = 0, E = 0 so the carry leaves the word.
inline std::uint64_t nonBlankEnds(std::uint64_t ends, std::uint64_t nonBlank, bool &carry)
{
    const std::uint64_t a = ~ends;
    std::uint64_t sum = 0;
    const bool c1 = __builtin_add_overflow(a, nonBlank, &sum);
    const bool c2 = __builtin_add_overflow(sum, std::uint64_t{carry}, &sum);
    carry = c1 || c2;
    return sum & ends;
}

// One 64-byte step of countNonBlankEnds from the byte masks of n valid bytes.
inline std::uint64_t nonBlankStep(std::uint64_t lf, std::uint64_t cr, std::uint64_t sp, std::size_t n,
                                  bool crBefore, bool &carry)
{
    const std::uint64_t valid = validBits(n);
    const std::uint64_t ends = lineEnds(lf, cr, crBefore) & valid;
    const std::uint64_t nonBlank = ~(lf | cr | sp) & valid;
    return static_cast<std::uint64_t>(std::popcount(nonBlankEnds(ends, nonBlank, carry)));
}

// The plain byte loop for 64 bytes (or the n < 64 that fill no full vector).
inline void scalarMasks(const unsigned char *p, std::size_t n, const Needle *needles, std::size_t needleCount,
                        Masks &out)
{
    out = {};
    for (std::size_t i = 0; i < n && i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        const unsigned char b = p[i];
        if (b == '\n')
            out.lf |= bit;
        else if (b == '\r')
            out.cr |= bit;
        else if (b == ' ')
            out.sp |= bit;
        if (b >= 0x80)
            out.high |= bit;
        if (b == 0xC5 || b == 0xE2)
            out.suspects |= bit;
        for (std::size_t k = 0; k < needleCount; ++k) {
            const Needle &nd = needles[k];
            if ((b | nd.lastOr) == nd.last
                && (p[static_cast<std::ptrdiff_t>(i) - nd.length + 1] | nd.firstOr) == nd.first) {
                out.candidates |= bit;
                break;
            }
        }
    }
}

// scalarMasks over a whole range.
inline void scalarMaskRange(const unsigned char *p, std::size_t n, const Needle *needles, std::size_t needleCount,
                            Masks *out)
{
    for (std::size_t w = 0; w < n; w += 64)
        scalarMasks(p + w, n - w, needles, needleCount, out[w / 64]);
}

} // namespace brinmoor::counting::kernels
