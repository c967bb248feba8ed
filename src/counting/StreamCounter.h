#pragma once

#include "BytePath.h"
#include "CountingPath.h"
#include "CountOptions.h"
#include "CountTypes.h"
#include "PreparedOptions.h"
#include "kernels/Kernels.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace brinmoor::counting {

// Counts one stream of bytes block by block. Holds one read block plus a
// small look-behind, whatever the file and line length. One instance per
// stream and thread.
//
// The stream's encoding (its byte-order mark) and the options choose one
// CountingPath for it; a new one takes over the open line only when the
// options change inside the stream.
class StreamCounter
{
public:
    enum class Start {
        FileStart,      // look for a byte-order mark
        AfterLineFeed,  // the second half of a split file: UTF-8/8-bit, fresh line
    };

    StreamCounter(const kernels::Kernel &kernel, std::size_t blockSize, Start start);
    ~StreamCounter();
    StreamCounter(const StreamCounter &) = delete;
    StreamCounter &operator=(const StreamCounter &) = delete;

    // Reads the source to its end; cancelled when *cancel is set. progress (may be empty) gets the lines
    // passed so far once per block: every line that ended, counted or not,
    // so it is the position of the line being examined.
    FileCount run(ByteSource &source, const OptionsSource &options, const std::atomic<bool> *cancel,
                  const std::function<void(std::uint64_t)> &progress);

    // The same for a stream read whole into memory, counted where it lies:
    // p[-kLookBehind .. -1] must be writable and p[n .. n + 63] readable.
    FileCount runInPlace(unsigned char *p, std::size_t n, const OptionsSource &options, const std::atomic<bool> *cancel,
                         const std::function<void(std::uint64_t)> &progress);

private:
    enum class Encoding { Bytes, Utf16LE, Utf16BE };

    // The length of the byte-order mark at d (0 without one); a UTF-16 mark
    // sets the encoding.
    std::size_t takeByteOrderMark(const unsigned char *d, std::size_t n);

    void useOptions(std::shared_ptr<const PreparedOptions> options);
    CountingPath &path();
    CountingPath *choosePath();
    void retirePath();
    FileCount finish(const std::function<void(std::uint64_t)> &progress);

    void borrowBuffer();
    unsigned char *data() { return m_buffer.get() + kernels::kLookBehind; }
    void keepLookBehind(std::size_t n);

    const kernels::Kernel &m_kernel;
    const std::size_t m_blockSize;
    const Start m_start;
    Encoding m_encoding = Encoding::Bytes;
    bool m_trackPassed = false;   // someone is watching the progress

    std::shared_ptr<const PreparedOptions> m_options;
    CountingPath *m_path = nullptr;         // made for m_options when first needed: one of the two below
    // The plain path is kept in place: a run over many small files makes
    // one per file, and a heap block each was a measurable share of that.
    std::optional<BytePath> m_bytePath;
    std::unique_ptr<CountingPath> m_otherPath;
    // The path was made for options without words only to finish a line
    // the earlier words were looking into; the plain path follows.
    bool m_pathEndsALine = false;
    OpenLine m_line;
    LineTally m_retired;                    // what the paths before m_path counted

    // Look-behind, block, slack; borrowed from the thread's spare buffer
    // and handed back at the end, so a run over many small files does not
    // allocate a block per file.
    std::unique_ptr<unsigned char[]> m_buffer;
    std::size_t m_bufferSize = 0;
};

} // namespace brinmoor::counting
