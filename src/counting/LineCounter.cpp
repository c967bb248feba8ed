#include "LineCounter.h"

#include "CountEngine.h"
#include "FileSource.h"
#include "StreamCounter.h"

#include <atomic>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace brinmoor::counting {

namespace {

constexpr std::int64_t SequentialHintSize = std::int64_t{1} << 20;

const kernels::Kernel &kernelOf(const EngineConfig &config)
{
    return config.kernel ? *config.kernel : kernels::bestKernel();
}

std::function<void(std::uint64_t)> progressTo(std::atomic<std::uint64_t> *target)
{
    if (!target)
        return {};
    return [target](std::uint64_t lines) { target->store(lines, std::memory_order_relaxed); };
}

// Where the second half of a large file can start: just after the first LF
// at or after the middle. Starting after an LF makes the halves independent:
// no CR LF pair, no line and no UTF-8 sequence crosses the cut. -1 when there
// is no LF near the middle or the file is UTF-16.
std::int64_t findSplit(int fd, std::int64_t size)
{
    unsigned char head[2] = {0, 0};
    if (::pread(fd, head, 2, 0) == 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF)))
        return -1;
    constexpr std::int64_t kSearch = 1 << 20;
    std::vector<char> buffer(64 * 1024);
    for (std::int64_t at = size / 2; at < size / 2 + kSearch && at < size;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
        if (got <= 0)
            return -1;
        for (ssize_t i = 0; i < got; ++i)
            if (buffer[static_cast<std::size_t>(i)] == '\n')
                return at + i + 1 < size ? at + i + 1 : -1;
        at += got;
    }
    return -1;
}

// Empty when no second thread could start: the caller counts the file whole.
std::optional<FileCount> countSplit(int fd, std::int64_t split, std::int64_t size, const OptionsSource &options,
                                    const CountControl &control, const EngineConfig &config)
{
    const kernels::Kernel &kernel = kernelOf(config);
    std::atomic<std::uint64_t> secondLines{0};
    std::atomic<bool> stop{false};
    FileCount second;
    std::exception_ptr secondThrew;
    // The second half stops at the caller's cancel (seen through its progress
    // callback) or when the first half fails.
    std::thread worker;
    try {
        worker = std::thread([&] {
            // Nothing may escape a thread: what the options throw is
            // rethrown on the caller's.
            try {
                FileRangeSource source(fd, split, size);
                StreamCounter counter(kernel, config.blockSize, StreamCounter::Start::AfterLineFeed);
                second = counter.run(source, options, &stop, [&](std::uint64_t lines) {
                    secondLines.store(lines, std::memory_order_relaxed);
                    if (control.cancel && control.cancel->load(std::memory_order_relaxed))
                        stop.store(true, std::memory_order_relaxed);
                });
            } catch (...) {
                secondThrew = std::current_exception();
            }
        });
    } catch (const std::system_error &) {
        return std::nullopt;
    }

    FileRangeSource source(fd, 0, split);
    StreamCounter counter(kernel, config.blockSize, StreamCounter::Start::FileStart);
    std::function<void(std::uint64_t)> progress;
    std::uint64_t firstLines = 0;
    if (control.linesReached) {
        progress = [&](std::uint64_t lines) {
            firstLines = lines;
            control.linesReached->store(lines + secondLines.load(std::memory_order_relaxed),
                                        std::memory_order_relaxed);
        };
    }
    FileCount first;
    try {
        first = counter.run(source, options, control.cancel, progress);
    } catch (...) {
        stop.store(true, std::memory_order_relaxed);
        worker.join();
        throw;
    }
    if (!first.ok)
        stop.store(true, std::memory_order_relaxed);
    worker.join();
    if (secondThrew)
        std::rethrow_exception(secondThrew);

    if (!first.ok && !first.cancelled)
        return first;
    if (!second.ok && !second.cancelled)
        return second;
    if (first.cancelled || second.cancelled)
        return FileCount{false, true, 0, {}};
    // The second half may have gone on after the first reported last.
    if (control.linesReached)
        control.linesReached->store(firstLines + secondLines.load(), std::memory_order_relaxed);
    return FileCount{true, false, first.lines + second.lines, {}};
}

} // namespace

FileCount countSourceWith(ByteSource &source, const OptionsSource &options, const CountControl &control,
                          const EngineConfig &config)
{
    StreamCounter counter(kernelOf(config), config.blockSize, StreamCounter::Start::FileStart);
    return counter.run(source, options, control.cancel, progressTo(control.linesReached));
}

FileCount countFileWith(const QString &path, const OptionsSource &options, const CountControl &control,
                        const EngineConfig &config)
{
    OpenFile file(path);
    if (!file.isOpen()) {
        FileCount failed{false, false, 0, file.errorString()};
        failed.folder = file.isFolder();
        return failed;
    }
    return countOpenFileWith(file.fd(), file.size(), options, control, config);
}

FileCount countOpenFileWith(int fd, std::int64_t size, const OptionsSource &options, const CountControl &control,
                            const EngineConfig &config)
{
#ifdef POSIX_FADV_SEQUENTIAL
    // A larger read-ahead pays only for files that take many reads; for the
    // rest it is one more system call per file.
    if (size >= SequentialHintSize)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    if (config.splitThreshold > 0 && size >= config.splitThreshold) {
        const std::int64_t split = findSplit(fd, size);
        if (split > 0) {
            if (std::optional<FileCount> counted = countSplit(fd, split, size, options, control, config))
                return *counted;
        }
    }
    // Up to the size the file had when it was opened: a file that grows
    // while it is read (a log being written) still ends. A size of 0 says
    // nothing about files that make their text as they are read (/proc,
    // /sys): those are read to their end.
    FileRangeSource source(fd, 0, size > 0 ? size : -1, control.waitedForDisk);
    return countSourceWith(source, options, control, config);
}

FileCount countInPlace(unsigned char *p, std::size_t n, const OptionsSource &options, const CountControl &control)
{
    const EngineConfig config;
    StreamCounter counter(kernelOf(config), config.blockSize, StreamCounter::Start::FileStart);
    return counter.runInPlace(p, n, options, control.cancel, progressTo(control.linesReached));
}

FileCount countSource(ByteSource &source, const OptionsSource &options, const CountControl &control)
{
    return countSourceWith(source, options, control, {});
}

FileCount countFile(const QString &path, const OptionsSource &options, const CountControl &control)
{
    return countFileWith(path, options, control, {});
}

} // namespace brinmoor::counting
