#pragma once

// The engine behind countFile/countSource with its choices exposed, so tests
// and benchmarks can run every kernel, block size and the two-core split.

#include "CountOptions.h"
#include "CountTypes.h"
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
// A regular file opened already, up to size bytes; the descriptor stays open.
FileCount countOpenFileWith(int fd, std::int64_t size, const OptionsSource &options, const CountControl &control,
                            const EngineConfig &config);
// A file read whole into memory, counted where it lies: p[-kernels::kLookBehind
// .. -1] must be writable (they are overwritten) and p[n .. n + 63] readable.
FileCount countInPlace(unsigned char *p, std::size_t n, const OptionsSource &options, const CountControl &control);

} // namespace brinmoor::counting
