#pragma once

#include "FolderWalk.h"

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace brinmoor::filelist {

// One thing a feed met, in walk order.
struct FeedEntry
{
    enum class Kind {
        File,         // path is a file found (or a dropped path taken as given)
        Failed,       // path is a folder that cannot be listed, reason says why
        Unshowable,   // path is a folder passed over: its name is not text
    };
    Kind kind = Kind::File;
    QString path;
    QString reason;
};

// What a feed walks: a folder, or a dropped path that is walked when it is
// a folder and otherwise passed on exactly as given.
struct FeedItem
{
    QString path;
    bool fileUnlessFolder = false;
};

struct FeedLimits
{
    // Entries handed over at a time, unless the consumer waits for them.
    std::size_t batchSize = 512;
    // Entries walked ahead of the consumer at most; the walk waits beyond.
    std::size_t capacity = 8192;
    // Called on the walking thread after each batch is queued and once the
    // walk is over, for a consumer that is not waiting in next() (an event
    // loop to wake). Must not call back into the feed.
    std::function<void()> wake;
};

// The files of folders, walked on a thread of its own as far ahead as the
// limits allow, so that the consumer starts with the first batch and memory
// stays bounded however large the tree. Entries cross between the threads a
// batch at a time: one lock and one wake-up per batch, not per file. The
// walk's failures and the folders it passes over take their place among the
// files. Both the window's scan and the console's count take their folders
// from here.
class FolderFeed
{
public:
    // options.cancel and the options' failure and folder callbacks are the
    // feed's own; unreadableFolder is called on the walking thread.
    FolderFeed(QList<FeedItem> items, WalkOptions options, FeedLimits limits = {});
    // Stops the walk and waits for its thread.
    ~FolderFeed();
    FolderFeed(const FolderFeed &) = delete;
    FolderFeed &operator=(const FolderFeed &) = delete;

    // Stops the walk soon; what was queued can still be taken. Any thread.
    void cancel();

    // The next entry, waiting for the walk if need be; false once the walk
    // is over (or cancelled) and every entry taken. One consumer thread.
    bool next(FeedEntry &entry);
    // Whether next() answers without waiting.
    bool ready() const;
    // Appends every entry queued now, without waiting; true once the walk
    // is over and nothing is left. One consumer thread, not mixed with next().
    bool takeQueued(std::vector<FeedEntry> &entries);

private:
    using Batch = std::vector<FeedEntry>;

    void walk();   // on the walking thread
    void add(FeedEntry entry);
    void handOver();
    bool takeBatch();

    const QList<FeedItem> m_items;
    WalkOptions m_options;
    const FeedLimits m_limits;
    std::atomic<bool> m_cancel{false};
    // The walking thread's batch in the making.
    Batch m_walked;
    // The consumer's batch: no lock needed.
    Batch m_batch;
    std::size_t m_taken = 0;
    // Guarded by m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_ready, m_space;
    std::deque<Batch> m_queue;
    std::size_t m_queued = 0;
    bool m_done = false;
    // Set when the consumer found nothing to take, until a batch is queued.
    std::atomic<bool> m_hungry{false};
    std::thread m_thread;
};

} // namespace brinmoor::filelist
