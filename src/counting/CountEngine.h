#pragma once

// The engine behind countFile/countSource with its choices exposed, so tests
// and benchmarks can run every kernel, block size and the two-core split.

#include "LineCounter.h"
#include "kernels/Kernels.h"

#include <cstddef>
#include <cstdint>

namespace brinmoor::counting {

struct EngineConfig
{
    const kernels::Kernel *kernel = nullptr;            // null: the best this CPU runs
    std::size_t blockSize = std::size_t{256} * 1024;    // bytes per read: the benchmarks favour 128 KiB - 1 MiB
    // Files at least this large are counted by two threads, one per half
    // (UTF-8 and 8-bit files only). 0 never splits.
    std::int64_t splitThreshold = std::int64_t{64} * 1024 * 1024;
};

FileCount countSourceWith(ByteSource &source, const OptionsSource &options, const CountControl &control,
                          const EngineConfig &config);
FileCount countFileWith(const QString &path, const OptionsSource &options, const CountControl &control,
                        const EngineConfig &config);

} // namespace brinmoor::counting
