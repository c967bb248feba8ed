#pragma once

#include "CountingPath.h"
#include "PreparedOptions.h"
#include "kernels/Kernels.h"

namespace brinmoor::counting {

// UTF-8 / 8-bit text without words: the kernels count line ends a block at
// a time, and nothing is decoded.
class BytePath final : public CountingPath
{
public:
    // trackPassed: someone watches the progress, so the lines passed are
    // counted even where the count needs only the non-blank ones.
    BytePath(const kernels::Kernel &kernel, const PreparedOptions &options, bool trackPassed, OpenLine &line);

    void count(const unsigned char *p, std::size_t n) override;
    void finish() override;

private:
    const kernels::Kernel &m_kernel;
    const bool m_excludeBlank;
    const bool m_trackPassed;
    OpenLine &m_line;
};

} // namespace brinmoor::counting
