#include "FolderScanJob.h"

#include "ErrorReport.h"
#include "FilePaths.h"
#include "FolderWalk.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

namespace brinmoor::filelist {

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
