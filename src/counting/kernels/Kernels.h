#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brinmoor::counting::kernels {

// The byte scanners of the UTF-8 / 8-bit path. CR, LF and space are single
// bytes there, so lines can be found without decoding.
//
// Buffer contract for every function: p[-kLookBehind .. -1] are readable and
// hold the bytes that came before p in the stream ('\n' before the stream
// starts), and p[n .. n + 63] are readable (their values are ignored). So
// a CR LF pair split over two reads is seen whole through p[-1].
inline constexpr std::size_t kLookBehind = 64;

// One exclusion word for the byte filter, found by its LAST byte (so a match
// never needs bytes after the current read): a candidate ends at i when
// (p[i - length + 1] | firstOr) == first and (p[i] | lastOr) == last. The
// OR with 0x20 folds ASCII letters; other bytes compare exactly.
struct Needle
{
    const unsigned char *bytes = nullptr;   // folded, length bytes
    std::uint32_t length = 0;
    unsigned char first = 0, firstOr = 0, last = 0, lastOr = 0;
};

// Per-64-byte bit masks (bit i = byte p[i]); bits at or past n are zero.
// suspects: the lead bytes 0xC5 and 0xE2 of U+017F and U+212A, the only
// characters outside ASCII whose case folding is ASCII ('s' and 'k').
struct Masks
{
    std::uint64_t lf = 0, cr = 0, sp = 0, high = 0, suspects = 0, candidates = 0;
};

struct Kernel
{
    const char *name;
    // Line ends in p[0..n): every CR, and every LF not preceded by a CR.
    std::uint64_t (*countEnds)(const unsigned char *p, std::size_t n);
    // Line ends whose line holds a byte other than space, CR and LF. carry is
    // in/out: whether the line still open before p (and after p[n-1]) holds one.
    std::uint64_t (*countNonBlankEnds)(const unsigned char *p, std::size_t n, bool &carry);
    // Masks of p[0..n), 64 bytes to each of out[0 .. (n + 63) / 64). The
    // needles' lengths must not exceed the look-behind the caller provides.
    void (*masks)(const unsigned char *p, std::size_t n, const Needle *needles, std::size_t needleCount, Masks *out);
};

const Kernel &scalarKernel();
// Null when not built for this machine's architecture or the CPU lacks it.
const Kernel *avx2Kernel();
const Kernel *avx512Kernel();

// The fastest kernel this CPU runs.
const Kernel &bestKernel();
// Every kernel this CPU runs, scalar first (tests compare them all).
std::vector<const Kernel *> availableKernels();

} // namespace brinmoor::counting::kernels
