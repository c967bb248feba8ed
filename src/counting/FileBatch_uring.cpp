#include "FileBatch.h"

#include "kernels/Kernels.h"

#include <liburing.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brinmoor::counting {

namespace {

// A read and a close per file at most are in flight at once.
constexpr unsigned RingEntries = 2 * FileBatchReader::MaxFiles;
// Before each file's bytes the counter's look-behind; after them the bytes
// the kernels may read past the end.
constexpr std::size_t Before = kernels::kLookBehind;
constexpr std::size_t After = 64;
// How often a submission or a wait is tried again when the kernel is short
// of memory for a moment or a signal interrupts it, before the reader gives
// up on the ring: a sandbox may answer so for ever.
constexpr int MaxAttempts = 1000;

enum Step : std::uint64_t { Open, LookUp, Read, Close };

std::uint64_t tag(std::size_t file, Step step)
{
    return std::uint64_t(file) << 2 | step;
}

bool forcedToThreads()
{
    const char *reader = std::getenv("BRINMOOR_READER");
    return reader && std::strcmp(reader, "threads") == 0;
}

// The look-ups' results come first in the block the kernel writes a
// batch's outcome into, the files' bytes after them.
constexpr std::size_t StatsBytes = (sizeof(struct statx) * FileBatchReader::MaxFiles + 63) & ~std::size_t{63};

class RingReader final : public FileBatchReader
{
public:
    static std::unique_ptr<RingReader> make(std::size_t arenaSize)
    {
        std::unique_ptr<RingReader> reader(new RingReader);
        return reader->init(arenaSize) ? std::move(reader) : nullptr;
    }

    ~RingReader() override
    {
        if (m_ringReady)
            io_uring_queue_exit(&m_ring);
        // Requests given up on may still be under way in the kernel, which
        // would write into this memory after its end: it is left be.
        if (!m_abandonedInFlight)
            std::free(m_block);
    }

    bool load(std::vector<BatchFile> &files) override
    {
        if (m_failed)
            return false;
        const std::size_t n = std::min(files.size(), MaxFiles);
        for (std::size_t k = 0; k < n; ++k) {
            BatchFile &file = files[k];
            // O_NONBLOCK: opening a FIFO without a writer must not hang.
            io_uring_prep_openat(sqe(tag(k, Open)), AT_FDCWD, file.native.constData(),
                                 O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
        }
        Outcome outcome = complete(n, [&](std::size_t k, Step, int result) {
            if (result >= 0)
                files[k].fd = result;
            else
                files[k].error = -result;
        });
        if (outcome != Outcome::Done)
            return giveUp(files, n, outcome, false);

        unsigned queued = 0;
        struct statx *stats = m_stats;
        for (std::size_t k = 0; k < n; ++k) {
            if (files[k].fd < 0)
                continue;
            io_uring_prep_statx(sqe(tag(k, LookUp)), files[k].fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT,
                                STATX_TYPE | STATX_SIZE, &stats[k]);
            ++queued;
        }
        outcome = complete(queued, [&](std::size_t k, Step, int result) {
            BatchFile &file = files[k];
            struct stat status {};
            if (result == -ENOENT) {
                // A kernel that looks up the empty path instead of the
                // descriptor: ask the descriptor itself.
                result = ::fstat(file.fd, &status) == 0 ? 0 : -errno;
                stats[k].stx_mode = std::uint16_t(status.st_mode);
                stats[k].stx_size = std::uint64_t(status.st_size);
            }
            if (result < 0) {
                file.error = -result;
                return;
            }
            file.folder = S_ISDIR(stats[k].stx_mode);
            file.regular = S_ISREG(stats[k].stx_mode);
            file.size = std::int64_t(stats[k].stx_size);
        });
        if (outcome != Outcome::Done)
            return giveUp(files, n, outcome, false);

        // The small regular files are read whole, each followed by its
        // close; everything else that is not the caller's to read is
        // closed. A size of 0 may be a file that makes its text when read:
        // the caller reads it to its end.
        queued = 0;
        std::size_t used = 0;
        for (std::size_t k = 0; k < n; ++k) {
            BatchFile &file = files[k];
            if (file.fd < 0)
                continue;
            const bool failed = file.error != 0 || !file.regular;
            if (!failed) {
                const std::size_t room = Before + std::size_t(file.size) + After;
                if (file.size == 0 || file.size > MaxFileSize || used + room > m_arenaSize)
                    continue;   // the caller reads it
                file.data = m_arena + used + Before;
                used += (room + 63) & ~std::size_t{63};
                io_uring_sqe *read = sqe(tag(k, Read));
                io_uring_prep_read(read, file.fd, file.data, unsigned(file.size), 0);
                // A failed or short read cancels the close, so the file can
                // still be read another way.
                read->flags |= IOSQE_IO_LINK;
                ++queued;
            }
            io_uring_prep_close(sqe(tag(k, Close)), file.fd);
            ++queued;
        }
        outcome = complete(queued, [&](std::size_t k, Step step, int result) {
            BatchFile &file = files[k];
            if (step == Close) {
                if (result != -ECANCELED)
                    file.fd = -1;   // closed, whatever close() said: it is gone either way
                return;
            }
            if (result >= 0)
                file.got = result;
            else
                file.error = -result;
        });
        if (outcome != Outcome::Done)
            return giveUp(files, n, outcome, true);

        for (std::size_t k = 0; k < n; ++k)
            settle(files[k]);
        return true;
    }

private:
    enum class Outcome {
        Done,
        FailedBeforeSubmitting,   // nothing of the step reached the kernel
        FailedInFlight,           // some of it did, and may still be under way
    };

    RingReader() = default;

    bool init(std::size_t arenaSize)
    {
        if (forcedToThreads())
            return false;
        // One thread submits and reaps, so the kernel may run the
        // completions when that thread asks for them rather than
        // interrupting it.
        io_uring_params params{};
        // SUBMIT_ALL: an entry the kernel refuses gets its own failed
        // completion instead of stopping the batch behind it.
        params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN | IORING_SETUP_SUBMIT_ALL;
        int rc = io_uring_queue_init_params(RingEntries, &m_ring, &params);
        if (rc == -EINVAL) {   // a kernel older than these flags
            params = {};
            rc = io_uring_queue_init_params(RingEntries, &m_ring, &params);
        }
        if (rc < 0)
            return false;
        m_ringReady = true;
        // Registering a probe asks the kernel what it supports without
        // submitting anything.
        io_uring_probe *probe = io_uring_get_probe_ring(&m_ring);
        const bool supported = probe && io_uring_opcode_supported(probe, IORING_OP_OPENAT)
            && io_uring_opcode_supported(probe, IORING_OP_STATX) && io_uring_opcode_supported(probe, IORING_OP_READ)
            && io_uring_opcode_supported(probe, IORING_OP_CLOSE);
        if (probe)
            io_uring_free_probe(probe);
        if (!supported)
            return false;
        m_arenaSize = std::clamp<std::size_t>(arenaSize, 4096, MaxArenaSize);
        // The pages are touched only as far as batches fill them.
        const std::size_t bytes = (StatsBytes + m_arenaSize + 4095) & ~std::size_t{4095};
        m_block = static_cast<unsigned char *>(std::aligned_alloc(4096, bytes));
        if (!m_block)
            return false;
        m_stats = new (m_block) struct statx[MaxFiles]{};
        m_arena = m_block + StatsBytes;
        return true;
    }

    io_uring_sqe *sqe(std::uint64_t userData)
    {
        // The ring has room for a whole batch: there is always an entry.
        io_uring_sqe *entry = io_uring_get_sqe(&m_ring);
        io_uring_sqe_set_data64(entry, userData);
        return entry;
    }

    // Submits what is queued and hands every one of the `expected`
    // completions to onResult.
    template <typename F>
    Outcome complete(unsigned expected, F &&onResult)
    {
        if (expected == 0)
            return Outcome::Done;
        bool submitted = false;
        int attempts = 0;
        while (io_uring_sq_ready(&m_ring) > 0) {
            // A failed call submitted nothing: the entries wait in the queue.
            const int rc = io_uring_submit_and_wait(&m_ring, expected);
            if (rc >= 0) {
                submitted = submitted || rc > 0;
                continue;
            }
            if (++attempts >= MaxAttempts)
                return submitted ? Outcome::FailedInFlight : Outcome::FailedBeforeSubmitting;
            if (rc == -EINTR)
                continue;
            // Short of kernel memory for a moment: wait a little.
            if (rc == -EAGAIN || rc == -ENOMEM || rc == -EBUSY) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            // Refused (a sandbox's EPERM) or anything else: no use trying again.
            return submitted ? Outcome::FailedInFlight : Outcome::FailedBeforeSubmitting;
        }
        for (unsigned seen = 0; seen < expected;) {
            io_uring_cqe *cqe = nullptr;
            const int rc = io_uring_wait_cqe(&m_ring, &cqe);
            if (rc < 0) {
                if (rc == -EINTR && ++attempts < MaxAttempts)
                    continue;
                return Outcome::FailedInFlight;
            }
            const std::uint64_t data = io_uring_cqe_get_data64(cqe);
            const int result = cqe->res;
            io_uring_cqe_seen(&m_ring, cqe);
            ++seen;
            onResult(std::size_t(data >> 2), Step(data & 3), result);
        }
        return Outcome::Done;
    }

    // The ring failed in the middle of a batch: its files go back to the
    // caller as they came. A descriptor is closed here unless a close of it
    // may still be under way, which could close another file that took its
    // number; a descriptor whose open never came back is lost with the
    // ring.
    bool giveUp(std::vector<BatchFile> &files, std::size_t n, Outcome outcome, bool closesQueued)
    {
        m_failed = true;
        const bool inFlight = outcome == Outcome::FailedInFlight;
        m_abandonedInFlight = inFlight;
        for (std::size_t k = 0; k < n; ++k) {
            BatchFile &file = files[k];
            if (file.fd >= 0 && !(closesQueued && inFlight))
                ::close(file.fd);
            file = BatchFile{std::move(file.native)};
        }
        return false;
    }

    // What the batch left undone: a file whose close was cancelled because
    // its read failed or came up short is still open.
    static void settle(BatchFile &file)
    {
        if (file.fd < 0)
            return;
        if (file.data && file.error == EAGAIN) {
            // The file system would not read without blocking here: the
            // caller reads it the ordinary way.
            file.error = 0;
            file.data = nullptr;
            file.got = 0;
            return;
        }
        if (file.data || file.error != 0 || !file.regular) {
            // Read short (the file shrank: what was read is the file) or
            // failed: either way done with.
            ::close(file.fd);
            file.fd = -1;
        }
    }

    io_uring m_ring{};
    bool m_ringReady = false;
    bool m_failed = false;
    bool m_abandonedInFlight = false;
    std::size_t m_arenaSize = 0;
    unsigned char *m_block = nullptr;
    struct statx *m_stats = nullptr;
    unsigned char *m_arena = nullptr;
};

} // namespace

std::unique_ptr<FileBatchReader> FileBatchReader::create(std::size_t arenaSize)
{
    if (!available())
        return nullptr;
    return RingReader::make(arenaSize);
}

bool FileBatchReader::available()
{
    static const bool works = RingReader::make(4096) != nullptr;
    return works;
}

} // namespace brinmoor::counting
