#include "BytePath.h"

namespace brinmoor::counting {

BytePath::BytePath(const kernels::Kernel &kernel, const PreparedOptions &options, bool trackPassed, OpenLine &line)
    : m_kernel(kernel)
    , m_excludeBlank(options.excludeBlank())
    , m_trackPassed(trackPassed)
    , m_line(line)
{
}

void BytePath::count(const unsigned char *p, std::size_t n)
{
    if (n == 0)
        return;
    m_line.last = p[n - 1];
    if (m_excludeBlank) {
        m_tally.lines += m_kernel.countNonBlankEnds(p, n, m_line.nonBlank);
        if (m_trackPassed)
            m_tally.passed += m_kernel.countEnds(p, n);
        return;
    }
    const std::uint64_t ends = m_kernel.countEnds(p, n);
    m_tally.lines += ends;
    m_tally.passed += ends;
    // Keep the blank state of the open line too, should the option be
    // switched on before the line ends: look back to its start (usually a
    // few bytes) or to the first non-blank byte.
    for (std::size_t i = n; i > 0; --i) {
        const unsigned char b = p[i - 1];
        if (isLineBreak(b)) {
            m_line.nonBlank = false;
            return;
        }
        if (b != ' ') {
            m_line.nonBlank = true;
            return;
        }
    }
}

void BytePath::finish()
{
    // No word can have excluded the line: this path is made only for a
    // settled one.
    if (m_excludeBlank ? m_line.nonBlank : !isLineBreak(m_line.last))
        ++m_tally.lines;
}

} // namespace brinmoor::counting
