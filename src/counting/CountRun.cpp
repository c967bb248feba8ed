#include "CountRun.h"

#include "ReadWorkers.h"
#include "ResultRows.h"
#include "WorkerThreads.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <limits>

#include <malloc.h>
#include <sys/resource.h>

namespace brinmoor::counting {

namespace {

// How often progress may be reported: about 30 times a second.
constexpr int ProgressIntervalMs = 33;
// How often finished files are handed to the owner: waking its event loop
// per file costs more than counting a small file.
constexpr int DeliveryIntervalMs = 4;
// Files delivered per visit of the owner's event loop, so that a burst of
// small files does not hold the GUI thread for long.
constexpr int DeliveryBatch = 2048;
// How far the workers may pull ahead of the delivery. A power of two; at
// a few hundred bytes a place this bounds the run's memory to a few MB while
// leaving the workers room for several delivery intervals of small files.
constexpr qint64 Window = 16384;
// The window is narrower when the paths are long (a list of 4,000-byte
// paths): the paths waiting in it stay under about this many bytes of text,
// yet at least one is always taken.
constexpr qint64 WindowBytes = 8 * 1024 * 1024;
// How many counted files of a folder met among the paths may wait for the
// delivery before the worker that counts them waits.
constexpr std::size_t FolderBacklog = 1024;

int clampToInt(qint64 value)
{
    return int(std::min<qint64>(value, std::numeric_limits<int>::max()));
}

} // namespace

void fitToProcessLimits()
{
    raiseDescriptorLimit();
#ifdef M_ARENA_MAX
    rlimit space {};
    if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY)
        ::mallopt(M_ARENA_MAX, 1);
#endif
}

// The owner's side of a run: it starts the workers, delivers their results
// in list order as signals, and reports progress, all on the thread that
// owns the run.
struct CountRun::Private
{
    enum class Phase { Idle, Running, Finished };

    CountRun *q;
    std::unique_ptr<PathSource> source;
    const qint64 sizeHint;
    const CountMode mode;
    const std::shared_ptr<const OptionsSource> options;
    Phase phase = Phase::Idle;

    RunResults results{Window, WindowBytes, FolderBacklog};
    std::atomic<bool> deliveryPosted{false};
    ReadWorkers workers;

    // Owner's thread only.
    QObject context;   // target of the workers' queued calls; dies with the run
    QTimer progressTimer;
    QTimer deliveryTimer;
    bool workersDone = false;
    std::uint64_t total = 0;
    qint64 emitted = 0;   // files delivered, the index their signals carry
    qint64 lastProgressIndex = -1;
    std::uint64_t lastProgressLines = 0;

    Private(CountRun *run, std::unique_ptr<PathSource> s, CountMode m, std::shared_ptr<const OptionsSource> o)
        : q(run)
        , source(std::move(s))
        , sizeHint(source->sizeHint())
        , mode(m)
        , options(std::move(o))
        , workers(*source, *options, results, {[this] { postDelivery(); }, [this] { workersLeft(); }})
    {
    }

    void workersLeft();   // MULTIPLE THREADS
    void postDelivery();  // MULTIPLE THREADS
    void deliver();
    void emitFile(const RunResult &file);
    void reportProgress();
    void maybeFinish();
};

void CountRun::Private::workersLeft()
{
    QMetaObject::invokeMethod(&context, [this] {
        workersDone = true;
        deliver();
    }, Qt::QueuedConnection);
}

void CountRun::Private::postDelivery()
{
    // One pending delivery at a time: deliver() clears the flag before it
    // looks at the results, so a file finished after that posts again.
    if (!deliveryPosted.exchange(true))
        QMetaObject::invokeMethod(&context, [this] { deliver(); }, Qt::QueuedConnection);
}

void CountRun::Private::deliver()
{
    deliveryPosted.store(false);
    if (phase != Phase::Running)
        return;
    // A slot connected to a signal may cancel the run, or delete it, or run
    // a nested event loop that delivers in its turn: each file is taken
    // afresh from the results.
    QPointer<CountRun> guard(q);
    RunResult file;
    int delivered = 0;
    while (delivered < DeliveryBatch && !workers.cancelled() && results.take(file)) {
        ++delivered;
        emitFile(file);
        if (!guard)
            return;
    }
    if (delivered > 0)
        results.wakeProducers();
    if (delivered == DeliveryBatch && !workers.cancelled() && results.nextReady())
        postDelivery();   // more is ready: let the event loop breathe first
    maybeFinish();
}

void CountRun::Private::emitFile(const RunResult &file)
{
    const int index = clampToInt(emitted++);
    if (file.failed) {
        emit q->fileFailed(index, file.path, file.reason);
        return;
    }
    total += file.lines;
    if (mode == CountMode::Separate) {
        QPointer<CountRun> guard(q);
        emit q->rowReady(fileRow(file.lines, file.path));
        if (!guard)
            return;
    }
    emit q->fileCounted(index, file.path, file.lines);
}

void CountRun::Private::reportProgress()
{
    // The lowest file in work is the one the delivery waits for. A place at
    // or past the ones taken is not reused until the owner takes it, which
    // cannot happen while this runs.
    qint64 index = -1;
    std::uint64_t lines = 0;
    if (!workers.lowestInWork(results.taken(), index, lines)
        || (index == lastProgressIndex && lines == lastProgressLines)) {
        return;
    }
    lastProgressIndex = index;
    lastProgressLines = lines;
    const qint64 count = sizeHint >= 0 ? sizeHint : workers.pulled();
    emit q->progress(clampToInt(index), clampToInt(count), results.at(index).path, lines);
}

void CountRun::Private::maybeFinish()
{
    if (phase != Phase::Running || !workersDone)
        return;
    const bool cancelled = workers.cancelled();
    if (!cancelled && results.taken() < workers.pulled())
        return;   // results still queued behind this call
    workers.join();
    phase = Phase::Finished;
    progressTimer.stop();
    deliveryTimer.stop();
    QPointer<CountRun> guard(q);
    const QString failed = workers.failure();
    if (!failed.isNull()) {
        emit q->runFailed(failed);
        if (guard)
            emit q->finished(true);
        return;
    }
    if (!cancelled && !workers.fatalReason().isNull()) {
        emit q->inputFailed(workers.fatalReason());
        if (guard)
            emit q->finished(true);
        return;
    }
    if (!cancelled) {
        if (mode == CountMode::OneTotal)
            emit q->rowReady(totalRow(total));
        if (!guard)
            return;
        emit q->totalCounted(total);
        if (!guard)
            return;
    }
    emit q->finished(cancelled);
}

CountRun::CountRun(QStringList paths, CountMode mode, std::shared_ptr<const OptionsSource> options,
                   QObject *parent)
    : CountRun(std::make_unique<ListPathSource>(std::move(paths)), mode, std::move(options), parent)
{
}

CountRun::CountRun(std::unique_ptr<PathSource> source, CountMode mode, std::shared_ptr<const OptionsSource> options,
                   QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, std::move(source), mode, std::move(options)))
{
    d->progressTimer.setInterval(ProgressIntervalMs);
    connect(&d->progressTimer, &QTimer::timeout, this, [this] { d->reportProgress(); });
    d->deliveryTimer.setInterval(DeliveryIntervalMs);
    d->deliveryTimer.setTimerType(Qt::PreciseTimer);
    connect(&d->deliveryTimer, &QTimer::timeout, this, [this] { d->deliver(); });
}

CountRun::~CountRun()
{
    cancel();
    d->workers.join();
    // d->context goes with d, and with it every call the workers queued.
}

void CountRun::setJobs(int jobs)
{
    d->workers.setJobs(std::max(0, jobs));
}

void CountRun::setLowPriorityWorkers(bool low)
{
    d->workers.setLowPriority(low);
}

void CountRun::setThreadStartLimit(int threads)
{
    d->workers.setThreadStartLimit(threads);
}

void CountRun::start()
{
    if (d->phase != Private::Phase::Idle)
        return;
    d->phase = Private::Phase::Running;
    // With nothing to count (no mode, cancelled before start, an empty
    // list) the run still ends through the event loop, so that start()
    // never emits directly.
    if (d->mode == CountMode::None || d->workers.cancelled() || d->sizeHint == 0) {
        d->workersDone = true;
        QMetaObject::invokeMethod(&d->context, [this] {
            if (d->mode == CountMode::None && d->phase == Private::Phase::Running) {
                d->phase = Private::Phase::Finished;
                emit finished(d->workers.cancelled());
                return;
            }
            d->maybeFinish();
        }, Qt::QueuedConnection);
        return;
    }
    // Keeping the line position costs a little; nobody pays for it unwatched.
    d->workers.setWatched(isSignalConnected(QMetaMethod::fromSignal(&CountRun::progress)));
    d->workers.start(d->sizeHint);
    d->progressTimer.start();
    d->deliveryTimer.start();
}

void CountRun::cancel()
{
    // The workers stop at their next block or their next path; the last
    // one to leave ends the run through maybeFinish(). Nothing is delivered
    // after this point.
    d->workers.cancel();
}

bool CountRun::isRunning() const
{
    return d->phase == Private::Phase::Running;
}

} // namespace brinmoor::counting
