#include "FolderScanJob.h"

#include "Paths.h"

#include <limits>

namespace brinmoor::filelist {

namespace {

// Enough for the user to find them; the count says how many there are.
constexpr int NamesShown = 3;

} // namespace

void UnshowableNames::add(const QString &path, bool folder)
{
    ++(folder ? folders : files);
    if (first.size() < NamesShown)
        first.append(path);
}

void UnreadableFolders::add(const QString &folder, const QString &reason)
{
    if (count++ < Kept)
        first.append(folder + QStringLiteral(": ") + reason);
}

QString unshowableNamesText(const UnshowableNames &names)
{
    QStringList parts;
    if (names.files > 0)
        parts << QStringLiteral("%1 file name(s) cannot be shown as text (they hold bytes that are not UTF-8). "
                                "The files were added and count as usual; the list shows those bytes as stand-in "
                                "characters.")
                     .arg(names.files);
    if (names.folders > 0)
        parts << QStringLiteral("%1 folder name(s) cannot be shown as text (they hold bytes that are not UTF-8). "
                                "Those folders were passed over with everything in them.")
                     .arg(names.folders);
    QString text = parts.join(QLatin1Char(' ')) + QStringLiteral("\r\r") + names.first.join(QLatin1Char('\r'));
    const int more = names.files + names.folders - int(names.first.size());
    if (more > 0)
        text += QStringLiteral("\rand %1 more").arg(more);
    return text;
}

FolderScanJob::FolderScanJob(const QString &folder, const QString &pattern, QObject *parent)
    : FolderScanJob(QList<FeedItem>{{folder, false}}, pattern, parent)
{
}

FolderScanJob::FolderScanJob(QList<FeedItem> items, QString pattern, QObject *parent)
    : QObject(parent)
    , m_items(std::move(items))
    , m_pattern(std::move(pattern))
{
    m_handOverTimer.setSingleShot(true);
    connect(&m_handOverTimer, &QTimer::timeout, this, &FolderScanJob::handOver);
}

FolderScanJob *FolderScanJob::forDrop(const QStringList &paths, QObject *parent)
{
    QList<FeedItem> items;
    items.reserve(paths.size());
    for (const QString &path : paths)
        items.append({path, true});
    return new FolderScanJob(std::move(items), QStringLiteral("*.*"), parent);
}

FolderScanJob::~FolderScanJob()
{
    // Before any member goes: the walking thread wakes this job.
    m_feed.reset();
}

void FolderScanJob::setOpenFolder(std::function<int(const char *path)> openFolder)
{
    m_openFolder = std::move(openFolder);
}

void FolderScanJob::setHandOverInterval(int milliseconds)
{
    m_interval = milliseconds;
}

void FolderScanJob::setMaxBatch(int rows)
{
    m_maxBatch = qMax(1, rows);
}

void FolderScanJob::start()
{
    if (m_started)
        return;
    m_started = true;
    m_running = true;
    m_sinceHandOver.start();
    WalkOptions options;
    options.pattern = m_pattern;
    options.openFolder = m_openFolder;
    options.unreadableFolder = [this](const QString &folder, const QString &reason) {
        m_unreadable.add(folder, reason);
    };
    FeedLimits limits;
    limits.batchSize = 256;   // small, so the interval is kept even on slow trees
    // The GUI thread takes every batch as it comes: the walk never waits.
    limits.capacity = std::numeric_limits<std::size_t>::max();
    // On the walking thread: one take() waits in the event loop at a time.
    limits.wake = [this] {
        if (!m_wakePosted.exchange(true))
            QMetaObject::invokeMethod(this, [this] { take(); }, Qt::QueuedConnection);
    };
    m_feed = std::make_unique<FolderFeed>(m_items, std::move(options), std::move(limits));
    if (m_cancelled)
        m_feed->cancel();
}

void FolderScanJob::cancel()
{
    m_cancelled = true;
    if (m_feed)
        m_feed->cancel();
}

void FolderScanJob::take()
{
    // Cleared first: a batch queued from now on posts the next take().
    m_wakePosted = false;
    // The walk's last wake-up may come after the job finished.
    if (!m_feed)
        return;
    // A box shown for a failure may run an event loop that calls take()
    // again; the outer call goes on with whatever came meanwhile.
    if (m_taking) {
        m_takeAgain = true;
        return;
    }
    m_taking = true;
    bool over = false;
    do {
        m_takeAgain = false;
        over = m_feed->takeQueued(m_entries);
        for (FeedEntry &entry : m_entries) {
            switch (entry.kind) {
            case FeedEntry::Kind::File:
                if (hasEscapedBytes(entry.path))
                    m_unshowable.add(entry.path, false);
                m_pending.append(std::move(entry.path));
                if (m_pending.size() >= m_maxBatch)
                    handOver();
                break;
            case FeedEntry::Kind::Unshowable:
                m_unshowable.add(entry.path, true);
                break;
            case FeedEntry::Kind::Failed:
                // The rows before it are told first.
                handOver();
                if (!m_cancelled)
                    emit folderFailed(entry.path, entry.reason);
                break;
            }
        }
        m_entries.clear();
    } while (m_takeAgain && !over);
    m_taking = false;
    if (over) {
        handOver();
        finish();
        return;
    }
    const qint64 since = m_sinceHandOver.elapsed();
    if (since >= m_interval)
        handOver();
    else if (!m_pending.isEmpty() && !m_handOverTimer.isActive())
        m_handOverTimer.start(int(m_interval - since));
}

void FolderScanJob::handOver()
{
    m_handOverTimer.stop();
    if (m_pending.isEmpty())
        return;
    const QStringList rows = std::exchange(m_pending, QStringList());
    m_sinceHandOver.restart();
    // A cancelled job says nothing more; what the walk had found by then
    // is dropped with it.
    if (!m_cancelled)
        emit rowsFound(rows);
}

void FolderScanJob::finish()
{
    m_feed.reset();
    m_running = false;
    emit finished(m_cancelled);
}

} // namespace brinmoor::filelist
