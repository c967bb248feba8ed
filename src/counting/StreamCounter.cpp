#include "StreamCounter.h"

#include "Utf16Path.h"
#include "WordPath.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace brinmoor::counting {

namespace {

constexpr std::size_t kSlack = 64;   // the kernels read up to 63 bytes past the data

// One spare read buffer per thread. A counter borrows it when it is large
// enough and hands its own buffer back when it ends.
struct SpareBuffer
{
    std::unique_ptr<unsigned char[]> data;
    std::size_t size = 0;
};
thread_local SpareBuffer t_spare;

} // namespace

StreamCounter::StreamCounter(const kernels::Kernel &kernel, std::size_t blockSize, Start start)
    : m_kernel(kernel)
    , m_blockSize(std::max<std::size_t>(blockSize, 64))
    , m_start(start)
{
}

StreamCounter::~StreamCounter()
{
    if (m_bufferSize > t_spare.size) {
        t_spare.data = std::move(m_buffer);
        t_spare.size = m_bufferSize;
    }
}

CountingPath *StreamCounter::choosePath()
{
    m_pathEndsALine = false;
    if (m_encoding != Encoding::Bytes) {
        m_otherPath = std::make_unique<Utf16Path>(*m_options, m_encoding == Encoding::Utf16LE, m_line);
        return m_otherPath.get();
    }
    if (!m_options->hasWords()) {
        if (m_line.settled())
            return &m_bytePath.emplace(m_kernel, *m_options, m_trackPassed, m_line);
        m_pathEndsALine = true;
    }
    m_otherPath = m_options->usesPrefilter() ? makePrefilterPath(m_kernel, *m_options, m_line)
                                             : makeAutomatonPath(m_kernel, *m_options, m_line);
    return m_otherPath.get();
}

CountingPath &StreamCounter::path()
{
    if (m_path && m_pathEndsALine && m_line.settled())
        retirePath();
    if (!m_path)
        m_path = choosePath();
    return *m_path;
}

void StreamCounter::retirePath()
{
    if (!m_path)
        return;
    m_retired.lines += m_path->tally().lines;
    m_retired.passed += m_path->tally().passed;
    m_path = nullptr;
    m_bytePath.reset();
    m_otherPath.reset();
}

void StreamCounter::useOptions(std::shared_ptr<const PreparedOptions> options)
{
    if (options == m_options)
        return;
    // The path reads the options it was made for: it goes first.
    retirePath();
    m_options = std::move(options);
    // A state of the old automaton means nothing to the new one: the new
    // words are looked for from this block on.
    m_line.matcher.restart();
}

void StreamCounter::borrowBuffer()
{
    if (m_buffer)
        return;
    // The look-behind holds what the kernels read before p, and what the
    // prefilter's words (no longer than it) need before a candidate.
    const std::size_t size = kernels::kLookBehind + m_blockSize + kSlack;
    if (t_spare.data && t_spare.size >= size) {
        m_buffer = std::move(t_spare.data);
        m_bufferSize = std::exchange(t_spare.size, 0);
    } else {
        // Left uninitialised: the block is read into before it is looked
        // at, and the kernels ignore the slack's values.
        m_buffer.reset(new unsigned char[size]);
        m_bufferSize = size;
    }
    // Before the stream starts the look-behind holds line feeds.
    std::memset(m_buffer.get(), '\n', kernels::kLookBehind);
}

void StreamCounter::keepLookBehind(std::size_t n)
{
    // The last bytes of the stream move in front of the next block; when
    // the block was short they include older look-behind bytes.
    std::memmove(m_buffer.get(), m_buffer.get() + n, kernels::kLookBehind);
}

FileCount StreamCounter::run(ByteSource &source, const OptionsSource &options, const std::atomic<bool> *cancel,
                             const std::function<void(std::uint64_t)> &progress)
{
    bool first = true;
    m_trackPassed = bool(progress);
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return {false, true, 0, {}};
        std::shared_ptr<const PreparedOptions> prepared = options.currentUnless(cancel);
        if (!prepared)
            return {false, true, 0, {}};
        useOptions(std::move(prepared));
        borrowBuffer();

        std::size_t n = 0;
        for (;;) {
            const std::int64_t got = source.read(reinterpret_cast<char *>(data()) + n,
                                                 static_cast<std::int64_t>(m_blockSize - n));
            if (got < 0)
                return {false, false, 0, source.errorString()};
            n += static_cast<std::size_t>(got);
            // The byte-order mark needs the first three bytes, whatever the read sizes.
            if (got == 0 || !first || m_start != Start::FileStart || n >= 3)
                break;
        }
        if (n == 0)
            break;

        if (first && m_start == Start::FileStart) {
            const std::size_t skip = takeByteOrderMark(data(), n);
            // Drop the mark so the look-behind never sees it.
            std::memmove(data(), data() + skip, n - skip);
            n -= skip;
        }
        first = false;

        path().count(data(), n);
        keepLookBehind(n);
        if (progress)
            progress(m_retired.passed + m_path->tally().passed);
    }
    return finish(progress);
}

FileCount StreamCounter::runInPlace(unsigned char *p, std::size_t n, const OptionsSource &options,
                                    const std::atomic<bool> *cancel,
                                    const std::function<void(std::uint64_t)> &progress)
{
    m_trackPassed = bool(progress);
    std::shared_ptr<const PreparedOptions> prepared = options.currentUnless(cancel);
    if (!prepared)
        return {false, true, 0, {}};
    useOptions(std::move(prepared));
    // The whole stream is one block: what lies before it is the start.
    std::memset(p - kernels::kLookBehind, '\n', kernels::kLookBehind);
    if (m_start == Start::FileStart) {
        const std::size_t skip = takeByteOrderMark(p, n);
        std::memset(p, '\n', skip);   // the look-behind never sees the mark
        p += skip;
        n -= skip;
    }
    path().count(p, n);
    return finish(progress);
}

FileCount StreamCounter::finish(const std::function<void(std::uint64_t)> &progress)
{
    CountingPath &last = path();
    last.finish();
    const std::uint64_t lines = m_retired.lines + last.tally().lines;
    if (progress)
        progress(m_retired.passed + last.tally().passed);
    return {true, false, lines, {}};
}

std::size_t StreamCounter::takeByteOrderMark(const unsigned char *d, std::size_t n)
{
    if (n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF)
        return 3;
    if (n >= 2 && d[0] == 0xFF && d[1] == 0xFE) {
        m_encoding = Encoding::Utf16LE;
        return 2;
    }
    if (n >= 2 && d[0] == 0xFE && d[1] == 0xFF) {
        m_encoding = Encoding::Utf16BE;
        return 2;
    }
    return 0;
}

} // namespace brinmoor::counting
