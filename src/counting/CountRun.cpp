#include "CountRun.h"

#include "LineCounter.h"
#include "ResultRows.h"

#include <QHash>
#include <QMetaMethod>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace brinmoor::counting {

namespace {

// How often progress may be reported: about 30 times a second.
constexpr int ProgressIntervalMs = 33;
// Files delivered per visit of the owner's event loop, so that a burst of
// small files does not hold the GUI thread for long.
constexpr int DeliveryBatch = 2048;

// One file's result, written once by the worker that counted it and read by
// the owner. Packed into one word so that a million paths cost 8 MB:
// 0 = not done yet, Failed = failed (the reason waits in m_errors),
// anything else = done with (value - 1) lines.
constexpr std::uint64_t SlotPending = 0;
constexpr std::uint64_t SlotFailed = std::numeric_limits<std::uint64_t>::max();

// Per worker, polled by the owner's progress timer.
struct WorkerState
{
    std::atomic<int> index{-1};   // file being counted, -1 when idle
    std::atomic<std::uint64_t> linesReached{0};
};

} // namespace

struct CountRun::Private
{
    enum class Phase { Idle, Running, Finished };

    CountRun *q;
    const QStringList paths;   // never modified, so workers may read it freely
    const CountMode mode;
    const std::shared_ptr<const OptionsSource> options;
    int jobs = 0;
    Phase phase = Phase::Idle;

    // Shared with the workers.
    std::atomic<bool> cancelFlag{false};
    std::atomic<int> nextIndex{0};
    std::atomic<int> workersLeft{0};
    std::atomic<bool> deliveryPosted{false};
    bool watched = true;   // someone takes the progress: the workers track lines passed
    std::vector<std::atomic<std::uint64_t>> results;
    std::vector<WorkerState> workerStates;
    std::mutex errorsMutex;
    QHash<int, QString> errors;   // guarded by errorsMutex

    // Owner's thread only.
    std::vector<std::thread> threads;
    QObject context;   // target of the workers' queued calls; dies with the run
    QTimer progressTimer;
    int delivered = 0;
    bool workersDone = false;
    std::uint64_t total = 0;
    int lastProgressIndex = -1;
    std::uint64_t lastProgressLines = 0;

    Private(CountRun *run, QStringList p, CountMode m, std::shared_ptr<const OptionsSource> o)
        : q(run)
        , paths(std::move(p))
        , mode(m)
        , options(std::move(o))
    {
    }

    void startWorkers();
    void work(int worker);   // runs on a worker thread
    void postDelivery();     // MULTIPLE THREADS
    void deliver();
    void reportProgress();
    void maybeFinish();
    void joinWorkers();
};

void CountRun::Private::startWorkers()
{
    const int count = int(paths.size());
    // idealThreadCount() honours the CPU affinity mask (taskset, containers);
    // hardware_concurrency() counts every core of the machine.
    int wanted = jobs > 0 ? jobs : QThread::idealThreadCount();
    wanted = std::clamp(wanted, 1, std::max(1, count));
    results = std::vector<std::atomic<std::uint64_t>>(std::size_t(count));
    workerStates = std::vector<WorkerState>(std::size_t(wanted));
    workersLeft = wanted;
    threads.reserve(std::size_t(wanted));
    for (int w = 0; w < wanted; ++w)
        threads.emplace_back([this, w] { work(w); });
}

void CountRun::Private::work(int worker)
{
    WorkerState &state = workerStates[std::size_t(worker)];
    const int count = int(paths.size());
    const CountControl control{&cancelFlag, watched ? &state.linesReached : nullptr};
    while (!cancelFlag.load()) {
        const int i = nextIndex.fetch_add(1);
        if (i >= count)
            break;
        state.linesReached.store(0);
        state.index.store(i);
        FileCount result;
        try {
            result = countFile(paths.at(i), *options, control);
        } catch (const std::exception &e) {
            // Nothing may escape a worker thread; the file fails instead.
            result.ok = false;
            result.error = QString::fromLocal8Bit(e.what());
        }
        if (result.cancelled)
            break;
        std::uint64_t value = SlotFailed;
        if (result.ok) {
            value = std::min(result.lines, SlotFailed - 2) + 1;
        } else {
            std::lock_guard lock(errorsMutex);
            errors.insert(i, result.error);
        }
        results[std::size_t(i)].store(value);
        postDelivery();
    }
    state.index.store(-1);
    if (workersLeft.fetch_sub(1) == 1) {
        QMetaObject::invokeMethod(&context, [this] {
            workersDone = true;
            maybeFinish();
        }, Qt::QueuedConnection);
    }
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
    const int count = int(paths.size());
    const int stop = std::min(count, delivered + DeliveryBatch);
    // A slot connected to a signal may cancel the run, or delete it.
    QPointer<CountRun> guard(q);
    while (delivered < stop && !cancelFlag.load()) {
        const std::uint64_t value = results[std::size_t(delivered)].load();
        if (value == SlotPending)
            break;
        const int index = delivered++;
        const QString &path = paths.at(index);
        if (value == SlotFailed) {
            QString reason;
            {
                std::lock_guard lock(errorsMutex);
                reason = errors.take(index);
            }
            emit q->fileFailed(index, path, reason);
        } else {
            const std::uint64_t lines = value - 1;
            total += lines;
            if (mode == CountMode::Separate)
                emit q->rowReady(fileRow(lines, path));
            emit q->fileCounted(index, path, lines);
        }
        if (!guard)
            return;
    }
    if (delivered == stop && stop < count && !cancelFlag.load()
        && results[std::size_t(delivered)].load() != SlotPending) {
        postDelivery();   // more is ready: let the event loop breathe first
    }
    maybeFinish();
}

void CountRun::Private::reportProgress()
{
    // The lowest file in work is the one the delivery waits for.
    int index = -1;
    std::uint64_t lines = 0;
    for (const WorkerState &state : workerStates) {
        const int i = state.index.load();
        if (i >= 0 && (index < 0 || i < index)) {
            index = i;
            lines = state.linesReached.load();
        }
    }
    if (index < 0 || (index == lastProgressIndex && lines == lastProgressLines))
        return;
    lastProgressIndex = index;
    lastProgressLines = lines;
    emit q->progress(index, int(paths.size()), paths.at(index), lines);
}

void CountRun::Private::maybeFinish()
{
    if (phase != Phase::Running || !workersDone)
        return;
    const bool cancelled = cancelFlag.load();
    if (!cancelled && delivered < int(paths.size()))
        return;   // results still queued behind this call
    joinWorkers();
    phase = Phase::Finished;
    progressTimer.stop();
    QPointer<CountRun> guard(q);
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

void CountRun::Private::joinWorkers()
{
    for (std::thread &t : threads) {
        if (t.joinable())
            t.join();
    }
    threads.clear();
}

CountRun::CountRun(QStringList paths, CountMode mode, std::shared_ptr<const OptionsSource> options,
                   QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, std::move(paths), mode, std::move(options)))
{
    d->progressTimer.setInterval(ProgressIntervalMs);
    connect(&d->progressTimer, &QTimer::timeout, this, [this] { d->reportProgress(); });
}

CountRun::~CountRun()
{
    d->cancelFlag.store(true);
    d->joinWorkers();
    // d->context goes with d, and with it every call the workers queued.
}

void CountRun::setJobs(int jobs)
{
    d->jobs = std::max(0, jobs);
}

void CountRun::start()
{
    if (d->phase != Private::Phase::Idle)
        return;
    d->phase = Private::Phase::Running;
    // With nothing to count (no mode, cancelled before start) the run still
    // ends through the event loop, so that start() never emits directly.
    if (d->mode == CountMode::None || d->cancelFlag.load() || d->paths.isEmpty()) {
        d->workersDone = true;
        QMetaObject::invokeMethod(&d->context, [this] {
            if (d->mode == CountMode::None && d->phase == Private::Phase::Running) {
                d->phase = Private::Phase::Finished;
                emit finished(d->cancelFlag.load());
                return;
            }
            d->maybeFinish();
        }, Qt::QueuedConnection);
        return;
    }
    // Keeping the line position costs a little; nobody pays for it unwatched.
    d->watched = isSignalConnected(QMetaMethod::fromSignal(&CountRun::progress));
    d->startWorkers();
    d->progressTimer.start();
}

void CountRun::cancel()
{
    // The workers stop at their next block; the last one to leave ends the
    // run through maybeFinish(). Nothing is delivered after this point.
    d->cancelFlag.store(true);
}

bool CountRun::isRunning() const
{
    return d->phase == Private::Phase::Running;
}

} // namespace brinmoor::counting
