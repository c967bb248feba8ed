#include "FolderScanJob.h"

#include "ErrorReport.h"
#include "FilePaths.h"
#include "FolderWalk.h"
#include "Paths.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

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

// Hands the walk's failures from its thread to the job's, where the real
// sink (a box on the screen) may be called. Called by the walking thread.
class FolderScanJob::ForwardingSink final : public FailureSink
{
public:
    explicit ForwardingSink(FolderScanJob *job)
        : m_job(job)
    {
    }
    void report(const Failure &failure) override
    {
        FolderScanJob *job = m_job;
        QMetaObject::invokeMethod(
            job,
            [job, failure] {
                if (job->m_failures)
                    job->m_failures->report(failure);
            },
            Qt::QueuedConnection);
    }

private:
    FolderScanJob *m_job;
};

FolderScanJob::FolderScanJob(const QString &folder, const QString &pattern, QObject *parent)
    : FolderScanJob(QList<Item>{{folder, false}}, pattern, parent)
{
}

FolderScanJob::FolderScanJob(QList<Item> items, QString pattern, QObject *parent)
    : QObject(parent)
    , m_items(std::move(items))
    , m_pattern(std::move(pattern))
    , m_forwarder(std::make_unique<ForwardingSink>(this))
{
}

FolderScanJob *FolderScanJob::forDrop(const QStringList &paths, QObject *parent)
{
    QList<Item> items;
    items.reserve(paths.size());
    for (const QString &path : paths)
        items.append({path, true});
    return new FolderScanJob(std::move(items), QStringLiteral("*.*"), parent);
}

FolderScanJob::~FolderScanJob()
{
    m_cancel = true;
    if (m_thread)
        m_thread->wait();
}

void FolderScanJob::setFailureSink(FailureSink *sink)
{
    m_failures = sink;
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
    if (m_thread)
        return;
    m_running = true;
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(QStringLiteral("FolderScanJob"));
    m_thread->start();
}

void FolderScanJob::cancel()
{
    m_cancel = true;
}

// Runs on the job's own thread: touches only the items and settings that
// start() fixed, the cancel flag, and queued calls back to the job.
void FolderScanJob::run()
{
    UnshowableNames unshowable;
    UnreadableFolders unreadable;
    QStringList pending;
    QElapsedTimer sinceHandOver;
    sinceHandOver.start();
    const auto handOverPending = [&] {
        if (pending.isEmpty())
            return;
        QMetaObject::invokeMethod(
            this, [this, rows = std::move(pending)] { handOver(rows); }, Qt::QueuedConnection);
        pending = QStringList();
        sinceHandOver.restart();
    };
    const auto take = [&](const QStringList &rows) {
        for (const QString &row : rows) {
            if (hasEscapedBytes(row))
                unshowable.add(row, false);
            pending.append(row);
            if (pending.size() >= m_maxBatch)
                handOverPending();
        }
        if (sinceHandOver.elapsed() >= m_interval)
            handOverPending();
    };

    WalkOptions options;
    options.pattern = m_pattern;
    options.cancel = &m_cancel;
    options.batchSize = 256;   // small, so the interval is kept even on slow trees
    options.failures = m_forwarder.get();
    options.openFolder = m_openFolder;
    options.unshowableFolder = [&unshowable](const QString &folder) { unshowable.add(folder, true); };
    options.unreadableFolder = [&unreadable](const QString &folder, const QString &reason) {
        unreadable.add(folder, reason);
    };
    for (const Item &item : std::as_const(m_items)) {
        if (m_cancel)
            break;
        if (item.dropped && !IsFolder(item.path)) {
            take({item.path});
            continue;
        }
        walkFolder(item.path, options, [&](const QStringList &rows) {
            QStringList cleaned;
            cleaned.reserve(rows.size());
            for (const QString &row : rows)
                cleaned.append(NormalizeBackslashes(row));
            take(cleaned);
        });
    }
    handOverPending();
    m_unshowable = std::move(unshowable);
    m_unreadable = std::move(unreadable);
    QMetaObject::invokeMethod(this, [this] { finish(); }, Qt::QueuedConnection);
}

void FolderScanJob::handOver(QStringList rows)
{
    // A cancelled job says nothing more; what the walk had found by then
    // is dropped with it.
    if (!m_cancel)
        emit rowsFound(rows);
}

void FolderScanJob::finish()
{
    m_thread->wait();
    m_running = false;
    emit finished(m_cancel);
}

} // namespace brinmoor::filelist
