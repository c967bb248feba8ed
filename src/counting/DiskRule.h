#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>

namespace brinmoor::counting {

// When files are read one by one, the workers beyond one per core join in
// only while the files come from the disk rather than from the page cache.
// Each of them then waits for the disk most of the time, and a disk serves
// many requests at once; with the files cached they stay parked, so they
// take no time from the thread that owns the run.
//
// All members: MULTIPLE THREADS.
class DiskRule
{
public:
    // How long the extra workers go on after a read last had to wait for
    // the disk, and how close two such reads must be to call them in.
    static constexpr std::chrono::milliseconds Spell{200};
    static constexpr std::chrono::milliseconds Evidence{50};

    // cancel: the run's; once set, no extra worker waits any longer.
    explicit DiskRule(const std::atomic<bool> &cancel)
        : m_cancel(cancel)
    {
    }

    // A read had to wait for the disk.
    void readWaited();
    // An extra worker, before each path: true to go on, after waiting while
    // the reads are served from the cache; false when the run is over for it.
    bool waitForTurn();
    // The paths are all taken: the extra workers leave.
    void noMorePaths();
    // Wakes the parked workers to look again (after a cancel).
    void wake();

private:
    const std::atomic<bool> &m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_parked;
    std::atomic<std::int64_t> m_untilMs{0};
    std::atomic<std::int64_t> m_lastWaitMs{std::numeric_limits<std::int64_t>::min() / 2};
    std::atomic<bool> m_noMorePaths{false};
};

} // namespace brinmoor::counting
