#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

namespace brinmoor::counting {

// A stream of bytes to count. Files are the usual source; tests use memory
// and failing sources with chosen read sizes.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Up to max bytes into buffer: the number read, 0 at the end, -1 on error.
    virtual std::int64_t read(char *buffer, std::int64_t max) = 0;
    virtual QString errorString() const = 0;
};

// Shared with the thread that watches a count.
struct CountControl
{
    const std::atomic<bool> *cancel = nullptr;             // set to stop early
    // Lines passed so far (ended, counted or not), for progress.
    std::atomic<std::uint64_t> *linesReached = nullptr;
    std::atomic<bool> *waitedForDisk = nullptr;            // set when a file's data was not cached
};

struct FileCount
{
    bool ok = false;
    bool cancelled = false;
    std::uint64_t lines = 0;   // lines that count, valid when ok
    QString error;             // why the file could not be counted, when !ok && !cancelled
    bool folder = false;       // it failed because it is a folder
};

} // namespace brinmoor::counting
