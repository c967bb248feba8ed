#include "Kernels.h"
#include "MaskMath.h"

// The reference kernel: one byte at a time, always built, and the one every
// faster kernel is tested against.

namespace brinmoor::counting::kernels {

namespace {

std::uint64_t countEndsScalar(const unsigned char *p, std::size_t n)
{
    std::uint64_t ends = 0;
    for (std::size_t i = 0; i < n; ++i)
        ends += p[i] == '\r' || (p[i] == '\n' && p[static_cast<std::ptrdiff_t>(i) - 1] != '\r');
    return ends;
}

std::uint64_t countNonBlankEndsScalar(const unsigned char *p, std::size_t n, bool &carry)
{
    std::uint64_t ends = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        if (b == '\r' || (b == '\n' && p[static_cast<std::ptrdiff_t>(i) - 1] != '\r')) {
            ends += carry;
            carry = false;
        } else if (b != ' ' && b != '\n') {
            carry = true;
        }
    }
    return ends;
}

} // namespace

const Kernel &scalarKernel()
{
    static const Kernel kernel{"scalar", countEndsScalar, countNonBlankEndsScalar, scalarMaskRange};
    return kernel;
}

} // namespace brinmoor::counting::kernels
