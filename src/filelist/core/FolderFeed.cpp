#include "FolderFeed.h"

#include <algorithm>

namespace brinmoor::filelist {

FolderFeed::FolderFeed(QList<FeedItem> items, WalkOptions options, FeedLimits limits)
    : m_items(std::move(items))
    , m_options(std::move(options))
    , m_limits(std::move(limits))
{
    m_options.cancel = &m_cancel;
    // Failures of the walk and the folders it passes over come on the
    // walking thread, between two folders: they take their place among the
    // files.
    m_options.folderFailed = [this](const QString &path, const QString &reason) {
        add({FeedEntry::Kind::Failed, path, reason});
    };
    m_options.unshowableFolder = [this](const QString &path) { add({FeedEntry::Kind::Unshowable, path, {}}); };
    m_thread = std::thread([this] { walk(); });
}

FolderFeed::~FolderFeed()
{
    cancel();
    m_thread.join();
}

void FolderFeed::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancel = true;
    }
    m_space.notify_all();
}

bool FolderFeed::next(FeedEntry &entry)
{
    if (m_taken == m_batch.size() && !takeBatch())
        return false;
    entry = std::move(m_batch[m_taken++]);
    return true;
}

bool FolderFeed::ready() const
{
    if (m_taken < m_batch.size())
        return true;
    std::lock_guard lock(m_mutex);
    return !m_queue.empty() || m_done;
}

bool FolderFeed::takeQueued(std::vector<FeedEntry> &entries)
{
    std::unique_lock lock(m_mutex);
    const bool wasFull = m_queued >= m_limits.capacity;
    for (Batch &batch : m_queue)
        std::move(batch.begin(), batch.end(), std::back_inserter(entries));
    m_queue.clear();
    m_queued = 0;
    const bool over = m_done;
    if (!over)
        m_hungry.store(true, std::memory_order_relaxed);
    lock.unlock();
    if (wasFull)
        m_space.notify_one();
    return over;
}

void FolderFeed::walk()
{
    m_walked.reserve(m_limits.batchSize);
    QStringList files;
    // Files are asked for up to the room left in the batch being made.
    const auto room = [this] {
        return qsizetype(m_limits.batchSize - std::min(m_walked.size(), m_limits.batchSize - 1));
    };
    for (const FeedItem &item : m_items) {
        if (m_cancel.load(std::memory_order_relaxed))
            break;
        if (item.fileUnlessFolder && !IsFolder(item.path)) {
            add({FeedEntry::Kind::File, item.path, {}});
            continue;
        }
        FolderWalker walker(item.path, m_options);
        while (walker.nextFiles(files, room())) {
            for (QString &file : files)
                m_walked.push_back({FeedEntry::Kind::File, std::move(file), {}});
            files.clear();
            // A consumer that waits takes what there is: the first files of
            // a slow tree are taken in while the rest is walked.
            if (m_walked.size() >= m_limits.batchSize
                || (!m_walked.empty() && m_hungry.load(std::memory_order_relaxed)))
                handOver();
        }
    }
    handOver();
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_ready.notify_one();
    if (m_limits.wake)
        m_limits.wake();
}

// On the walking thread.
void FolderFeed::add(FeedEntry entry)
{
    m_walked.push_back(std::move(entry));
    if (m_walked.size() >= m_limits.batchSize)
        handOver();
}

// On the walking thread.
void FolderFeed::handOver()
{
    if (m_walked.empty())
        return;
    {
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [this] { return m_cancel || m_queued < m_limits.capacity; });
        m_queued += m_walked.size();
        m_queue.push_back(std::move(m_walked));
        m_hungry.store(false, std::memory_order_relaxed);
    }
    m_ready.notify_one();
    if (m_limits.wake)
        m_limits.wake();
    m_walked = Batch();
    m_walked.reserve(m_limits.batchSize);
}

// On the consumer's thread: the next batch, waiting for the walk if need be;
// false when the walk is over.
bool FolderFeed::takeBatch()
{
    std::unique_lock lock(m_mutex);
    if (m_queue.empty() && !m_done) {
        m_hungry.store(true, std::memory_order_relaxed);
        m_ready.wait(lock, [this] { return !m_queue.empty() || m_done; });
    }
    if (m_queue.empty())
        return false;
    const bool wasFull = m_queued >= m_limits.capacity;
    m_batch = std::move(m_queue.front());
    m_queue.pop_front();
    m_taken = 0;
    m_queued -= m_batch.size();
    lock.unlock();
    if (wasFull)
        m_space.notify_one();
    return true;
}

} // namespace brinmoor::filelist
