#include "CountRun.h"

#include "CountEngine.h"
#include "FileBatch.h"
#include "FileSource.h"
#include "LineCounter.h"
#include "Paths.h"
#include "ResultRows.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#include <dirent.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

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
// a few hundred bytes a slot this bounds the run's memory to a few MB while
// leaving the workers room for several delivery intervals of small files.
constexpr qint64 Window = 16384;
// The window is narrower when the paths are long (a list of 4,000-byte
// paths): the paths waiting in it stay under about this many bytes of text,
// yet at least one is always taken.
constexpr qint64 WindowBytes = 8 * 1024 * 1024;
// Workers when the caller names no number and files are read one by one:
// one per core counts, and while files come from the disk (not from the
// page cache) more join in, up to this many in all. Each of them then waits for the disk most of the time,
// and a disk serves many requests at once. With the files cached the extra
// ones stay parked, so they take no time from the owner's thread.
constexpr int DiskWorkers = 16;
// How long the extra workers go on after a read last had to wait for the
// disk.
constexpr std::chrono::milliseconds DiskSpell{200};
constexpr std::chrono::milliseconds DiskEvidence{50};
// How much nicer than the owner low-priority workers are. At 10 a worker
// weighs about a tenth of the owner with the scheduler, so the owner gets
// most of a core however many workers are busy.
constexpr int LowPriorityNiceness = 10;

// How many counted files of a folder met among the paths may wait for the
// delivery before the worker that counts them waits.
constexpr std::size_t FolderBacklog = 1024;

// A worker's stack: it holds little, and a run may start a thousand
// workers, each of which would otherwise reserve the default 8 MiB of
// address space. The address sanitizer's frames are several times larger.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t WorkerStack = std::size_t{8} << 20;
#else
constexpr std::size_t WorkerStack = std::size_t{1} << 20;
#endif
// The read blocks of all workers together and the batch readers' arenas
// together: with many workers each gets a share, so that memory does not
// grow with the number of workers.
constexpr std::size_t BlockBudget = std::size_t{16} << 20;
constexpr std::size_t MinBlock = std::size_t{16} * 1024;
constexpr std::size_t ArenaBudget = std::size_t{16} << 20;
constexpr std::size_t MinArena = std::size_t{256} * 1024;
// Workers that batch their reads beyond one per core: each keeps many files
// in flight, so a few of them keep a disk as busy as it gets; the rest read
// file by file.
constexpr int MaxReaders = 16;
// Descriptors left to the owner while the run holds files open.
constexpr long MinReserve = 2;
constexpr long MaxReserve = 64;

// One file's result, packed into one word: 0 = not done yet, Failed =
// failed (the reason waits beside it), Folder = a folder whose files follow
// in Slot::folder, anything else = done with (value - 1) lines.
constexpr std::uint64_t SlotPending = 0;
constexpr std::uint64_t SlotFailed = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t SlotFolder = SlotFailed - 1;
constexpr std::uint64_t MaxLines = SlotFolder - 2;

std::uint64_t valueOf(const FileCount &count)
{
    return count.ok ? std::min(count.lines, MaxLines) + 1 : SlotFailed;
}

// A path taken from the source, with its place in the run.
struct Taken
{
    qint64 index;
    QString path;
};

struct FolderFile
{
    QString path;
    std::uint64_t value;
    QString reason;
};

// The files of a folder in the place of one path, counted by the worker
// that found the folder and handed over as the delivery reaches them.
// Guarded by the run's roomMutex.
struct FolderFiles
{
    std::deque<FolderFile> files;
    bool done = false;
};

// A path between being pulled and being delivered. The worker that pulled
// it writes path, reason and folder, then publishes result; the owner reads
// them after seeing result and frees the slot by advancing `delivered`.
struct Slot
{
    std::atomic<std::uint64_t> result{SlotPending};
    QString path;
    QString reason;
    std::unique_ptr<FolderFiles> folder;
    qint64 bytes = 0;   // of path and reason as taken, counted in bytesAhead
};

// Per worker, polled by the owner's progress timer.
struct WorkerState
{
    std::atomic<qint64> index{-1};   // file being counted, -1 when idle
    std::atomic<std::uint64_t> linesReached{0};
    std::atomic<bool> waitedForDisk{false};
};

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int clampToInt(qint64 value)
{
    return int(std::min<qint64>(value, std::numeric_limits<int>::max()));
}

FileCount cancelledCount()
{
    FileCount cancelled;
    cancelled.cancelled = true;
    return cancelled;
}

bool outOfDescriptors(int error)
{
    return error == EMFILE || error == ENFILE;
}

// Many systems set a low soft limit on open files for programs that use
// select(); this one does not, and a run holds a batch of files per worker.
void raiseDescriptorLimit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        rlimit limit {};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
            return;
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);   // refused: the run makes do with what it has
    });
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

namespace {

// Descriptors this process may still open.
long descriptorsFree()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<int>::max();
    long used = 0;
    if (DIR *fds = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(fds))
            used += entry->d_name[0] != '.';
        ::closedir(fds);
        --used;   // the listing's own
    } else {
        used = 16;   // a guess where the system does not tell
    }
    return std::max(0L, long(std::min<rlim_t>(limit.rlim_cur, std::numeric_limits<int>::max())) - used);
}

void *runThreadBody(void *body)
{
    const std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()> *>(body));
    (*run)();
    return nullptr;
}

// 0, or the reason the system would not start the thread.
int startThread(pthread_t *thread, std::function<void()> body)
{
    std::function<void()> *owned = nullptr;
    try {
        owned = new std::function<void()>(std::move(body));
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
    pthread_attr_t attributes;
    int rc = ::pthread_attr_init(&attributes);
    if (rc == 0) {
        ::pthread_attr_setstacksize(&attributes, WorkerStack);
        rc = ::pthread_create(thread, &attributes, runThreadBody, owned);
        ::pthread_attr_destroy(&attributes);
    }
    if (rc != 0)
        delete owned;
    return rc;
}

} // namespace

struct CountRun::Private
{
    enum class Phase { Idle, Running, Finished };

    CountRun *q;
    std::unique_ptr<PathSource> source;
    const qint64 sizeHint;
    const CountMode mode;
    const std::shared_ptr<const OptionsSource> options;
    int jobs = 0;
    bool lowPriority = false;
    int threadStartLimit = -1;
    Phase phase = Phase::Idle;

    // Decided when the workers start, from their number and the
    // descriptors left.
    EngineConfig engine;
    int readers = 0;                                     // workers that read in batches
    std::size_t batchFiles = FileBatchReader::MaxFiles;  // per batch
    std::size_t arenaSize = FileBatchReader::MaxArenaSize;

    // Shared with the workers.
    std::atomic<bool> cancelFlag{false};
    std::atomic<int> workersLeft{0};
    std::atomic<bool> deliveryPosted{false};
    std::vector<Slot> ring = std::vector<Slot>(std::size_t(Window));
    bool watched = true;   // someone takes the progress: the workers track lines passed
    std::vector<WorkerState> workerStates;
    std::atomic<qint64> delivered{0};   // written by the owner only
    std::atomic<qint64> bytesAhead{0};  // text of the paths taken and not yet delivered

    // The source side: one worker at a time calls the source.
    std::mutex sourceMutex;
    std::atomic<qint64> pulled{0};      // written under sourceMutex
    bool sourceDone = false;            // guarded by sourceMutex
    QString fatalReason;                // guarded by sourceMutex; read by the owner after the workers left

    // A worker waits here while the window is full; the owner wakes it
    // after each delivery.
    std::mutex roomMutex;
    std::condition_variable room;

    // The extra workers wait here while the files come from the cache.
    std::mutex diskMutex;
    std::condition_variable disk;
    std::atomic<qint64> diskUntilMs{0};
    std::atomic<qint64> lastDiskReadMs{std::numeric_limits<qint64>::min() / 2};
    std::atomic<bool> noMorePaths{false};

    // A batch reader's ring failed: every worker reads file by file from
    // then on.
    std::atomic<bool> batchesFailed{false};
    // Why the run cannot go on; set once, read by the owner after the
    // workers left.
    std::mutex failureMutex;
    QString failure;

    // Owner's thread only.
    std::vector<pthread_t> threads;
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
    {
    }

    Slot &entryAt(qint64 index) { return ring[std::size_t(index & (Window - 1))]; }
    // Whether the workers must wait before taking the path at index.
    bool windowFull(qint64 index) const
    {
        const qint64 ahead = index - delivered.load(std::memory_order_acquire);
        return ahead >= Window || (ahead > 0 && bytesAhead.load(std::memory_order_relaxed) >= WindowBytes);
    }
    void startWorkers();
    void plan(int workers, int counting);
    void work(int worker, bool extra);   // runs on a worker thread
    bool workInBatches(WorkerState &state, const CountControl &control, FileBatchReader &reader);   // on a worker thread
    void leave(int workers);             // MULTIPLE THREADS
    void failRun(const QString &reason); // MULTIPLE THREADS
    bool waitForDisk();                  // runs on a worker thread
    void readFromDisk();                 // runs on a worker thread
    void wakeDiskWorkers(bool sourceFinished);   // MULTIPLE THREADS
    void take(std::vector<Taken> &taken, std::size_t most);   // runs on a worker thread
    FileCount count(const QString &path, const CountControl &control);   // runs on a worker thread
    FileCount countLoaded(BatchFile &file, const QString &path, const CountControl &control);   // on a worker thread
    void finishFile(const Taken &file, const FileCount &result, const CountControl &control);   // on a worker thread
    void countFolder(Slot &slot, PathSource &files, const CountControl &control);   // runs on a worker thread
    void emitFile(const QString &path, std::uint64_t value, const QString &reason);
    bool deliverFolder(Slot &slot);
    void postDelivery();             // MULTIPLE THREADS
    void wakeWorkers();              // MULTIPLE THREADS
    void deliver();
    void reportProgress();
    void maybeFinish();
    void joinWorkers();
};

void CountRun::Private::startWorkers()
{
    // idealThreadCount() honours the CPU affinity mask (taskset, containers);
    // hardware_concurrency() counts every core of the machine.
    const int counting = std::max(1, jobs > 0 ? jobs : QThread::idealThreadCount());
    // Batched reads keep the disk busy from the counting workers alone.
    int wanted = jobs > 0 || FileBatchReader::available() ? counting : std::max(counting, DiskWorkers);
    if (sizeHint >= 0)
        wanted = int(std::clamp<qint64>(sizeHint, 1, wanted));
    raiseDescriptorLimit();
    plan(wanted, counting);
    workerStates = std::vector<WorkerState>(std::size_t(wanted));
    workersLeft = wanted;
    threads.reserve(std::size_t(wanted));
    // A thread the system will not start (a process limit, no address
    // space left) leaves the run to those that started.
    int refused = 0;
    for (int w = 0; w < wanted; ++w) {
        pthread_t thread;
        const int rc = threadStartLimit >= 0 && w >= threadStartLimit
            ? EAGAIN
            : startThread(&thread, [this, w, counting] { work(w, w >= counting); });
        if (rc != 0) {
            refused = rc;
            break;
        }
        threads.push_back(thread);
    }
    if (threads.empty())
        failRun(QStringLiteral("Could not start a thread to count with: %1").arg(describeErrno(refused)));
    if (const int missing = wanted - int(threads.size()))
        leave(missing);
}

// What the workers may take: the read blocks and the batches share fixed
// budgets of memory and of the descriptors left, so that neither grows
// with the number of workers nor runs out under a low limit.
void CountRun::Private::plan(int workers, int counting)
{
    engine.blockSize = std::clamp(BlockBudget / std::size_t(workers), MinBlock, EngineConfig{}.blockSize);
    readers = FileBatchReader::available() ? std::min(counting, std::max(MaxReaders, QThread::idealThreadCount())) : 0;
    const long free = descriptorsFree();
    // One descriptor per worker that reads file by file, one ring and a
    // batch per reader.
    const long usable = free - std::clamp(free / 8, MinReserve, MaxReserve) - (workers - readers);
    while (readers > 0 && usable / readers - 1 < 2)
        --readers;
    if (readers > 0)
        batchFiles = std::size_t(std::clamp<long>(usable / readers - 1, 1, long(FileBatchReader::MaxFiles)));
    arenaSize = std::clamp(ArenaBudget / std::size_t(std::max(readers, 1)), MinArena, FileBatchReader::MaxArenaSize);
}

void CountRun::Private::leave(int workers)
{
    if (workersLeft.fetch_sub(workers) == workers) {
        QMetaObject::invokeMethod(&context, [this] {
            workersDone = true;
            deliver();
        }, Qt::QueuedConnection);
    }
}

void CountRun::Private::failRun(const QString &reason)
{
    {
        std::lock_guard lock(failureMutex);
        if (failure.isNull())
            failure = reason;
    }
    cancelFlag.store(true);
    wakeWorkers();
    { std::lock_guard lock(diskMutex); }
    disk.notify_all();
}

// Up to `most` paths to count, with their indices: it waits for the first,
// then takes only what the source has ready, so that paths a slow pipe sent
// are counted while it waits for more. Empty when the source is done or the
// run cancelled. Failures the source reports are put in their slots on the
// way.
void CountRun::Private::take(std::vector<Taken> &taken, std::size_t most)
{
    taken.clear();
    std::lock_guard sourceLock(sourceMutex);
    for (;;) {
        if (sourceDone || cancelFlag.load())
            return;
        if (!taken.empty() && (taken.size() >= most || !source->ready()))
            return;
        const qint64 index = pulled.load(std::memory_order_relaxed);
        if (windowFull(index)) {
            if (!taken.empty())
                return;
            // Full: make sure the owner comes by soon, then wait for it.
            postDelivery();
            std::unique_lock lock(roomMutex);
            room.wait(lock, [&] {
                return cancelFlag.load() || !windowFull(index);
            });
            continue;
        }
        PathEntry entry;
        try {
            entry = source->next();
        } catch (const std::exception &e) {
            entry = PathEntry::fatal(QString::fromLocal8Bit(e.what()));
        }
        switch (entry.kind) {
        case PathEntry::Kind::End:
            sourceDone = true;
            wakeDiskWorkers(true);
            return;
        case PathEntry::Kind::Fatal:
            sourceDone = true;
            fatalReason = entry.reason;
            wakeDiskWorkers(true);
            return;
        case PathEntry::Kind::Failure: {
            Slot &failed = entryAt(index);
            failed.path = std::move(entry.path);
            failed.reason = std::move(entry.reason);
            failed.bytes = (failed.path.size() + failed.reason.size()) * qint64(sizeof(QChar));
            bytesAhead.fetch_add(failed.bytes, std::memory_order_relaxed);
            failed.result.store(SlotFailed, std::memory_order_release);
            pulled.store(index + 1, std::memory_order_relaxed);
            continue;
        }
        case PathEntry::Kind::Path:
            entryAt(index).path = entry.path;
            entryAt(index).bytes = entry.path.size() * qint64(sizeof(QChar));
            bytesAhead.fetch_add(entryAt(index).bytes, std::memory_order_relaxed);
            taken.push_back({index, std::move(entry.path)});
            pulled.store(index + 1, std::memory_order_relaxed);
            continue;
        }
    }
}

void CountRun::Private::work(int worker, bool extra)
{
#ifdef __linux__
    // Linux keeps a nice value per thread (POSIX has it per process, so
    // elsewhere this would slow the owner too). Only ever raised, which
    // needs no privilege.
    if (lowPriority) {
        const pid_t thread = ::gettid();
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, id_t(thread));
        if (errno == 0)
            ::setpriority(PRIO_PROCESS, id_t(thread), std::min(nice + LowPriorityNiceness, 19));
    }
#endif
    WorkerState &state = workerStates[std::size_t(worker)];
    bool fileByFile = true;
    if (!extra && worker < readers && !batchesFailed.load()) {
        if (const std::unique_ptr<FileBatchReader> reader = FileBatchReader::create(arenaSize)) {
            const CountControl control{&cancelFlag, watched ? &state.linesReached : nullptr, nullptr};
            fileByFile = workInBatches(state, control, *reader);
        }
    }
    if (fileByFile) {
        const CountControl control{&cancelFlag, watched ? &state.linesReached : nullptr, &state.waitedForDisk};
        std::vector<Taken> taken;
        while (!cancelFlag.load()) {
            if (extra && !waitForDisk())
                break;
            take(taken, 1);
            if (taken.empty())
                break;
            state.linesReached.store(0);
            state.index.store(taken.front().index, std::memory_order_release);
            const FileCount result = count(taken.front().path, control);
            if (state.waitedForDisk.exchange(false, std::memory_order_relaxed))
                readFromDisk();
            if (result.cancelled)
                break;
            finishFile(taken.front(), result, control);
        }
    }
    state.index.store(-1);
    leave(1);
}

// Paths a batch at a time: the reader opens and reads the batch's small
// files together, then they are counted where they lie, one after the
// other. True when the worker is to go on file by file: the system refused
// the batches.
bool CountRun::Private::workInBatches(WorkerState &state, const CountControl &control, FileBatchReader &reader)
{
    std::vector<Taken> taken;
    std::vector<BatchFile> files;
    while (!cancelFlag.load()) {
        if (batchesFailed.load())
            return true;
        take(taken, batchFiles);
        if (taken.empty())
            break;
        files.assign(taken.size(), BatchFile{});
        for (std::size_t k = 0; k < taken.size(); ++k)
            files[k].native = nativePath(taken[k].path);
        // A refused batch comes back untouched: its files are read one by
        // one like the rest of the run's.
        if (!reader.load(files))
            batchesFailed.store(true);
        bool cancelled = false;
        for (std::size_t k = 0; k < taken.size(); ++k) {
            BatchFile &file = files[k];
            if (!cancelled) {
                state.linesReached.store(0);
                state.index.store(taken[k].index, std::memory_order_release);
                const FileCount result = countLoaded(file, taken[k].path, control);
                cancelled = result.cancelled;
                if (!cancelled)
                    finishFile(taken[k], result, control);
            }
            // Large files the reader left open, also those a cancel skips.
            if (file.fd >= 0)
                ::close(file.fd);
        }
    }
    return false;
}

// What became of a path: its count or failure in its slot, or the files
// of a folder in its place.
void CountRun::Private::finishFile(const Taken &file, const FileCount &result, const CountControl &control)
{
    Slot &done = entryAt(file.index);
    std::unique_ptr<PathSource> files;
    if (result.folder) {
        try {
            files = source->folder(file.path);
        } catch (const std::exception &e) {
            done.reason = QString::fromLocal8Bit(e.what());
        }
    }
    if (files) {
        countFolder(done, *files, control);
        return;
    }
    if (!result.ok && done.reason.isNull())
        done.reason = result.error;
    done.result.store(valueOf(result), std::memory_order_release);
}

// A read had to wait for the disk. One such read may be a file the cache
// let go of; two in quick succession call in the extra workers.
void CountRun::Private::readFromDisk()
{
    const qint64 now = nowMs();
    if (now - lastDiskReadMs.exchange(now) > DiskEvidence.count())
        return;
    const bool parked = diskUntilMs.load() < now;
    diskUntilMs.store(now + DiskSpell.count());
    if (parked)
        wakeDiskWorkers(false);
}

// An extra worker goes on only while reads have been waiting for the disk
// lately; false when the run is over for it.
bool CountRun::Private::waitForDisk()
{
    auto over = [this] { return cancelFlag.load() || noMorePaths.load(); };
    if (diskUntilMs.load() >= nowMs())
        return !over();
    std::unique_lock lock(diskMutex);
    disk.wait(lock, [&] { return over() || diskUntilMs.load() >= nowMs(); });
    return !over();
}

// Once the source is done (the extra workers leave), and when a read had to
// wait for the disk while they were parked.
void CountRun::Private::wakeDiskWorkers(bool sourceFinished)
{
    if (sourceFinished)
        noMorePaths.store(true);
    { std::lock_guard lock(diskMutex); }
    disk.notify_all();
}

FileCount CountRun::Private::countLoaded(BatchFile &file, const QString &path, const CountControl &control)
{
    // What the batch could not open, or did not try: no descriptor left
    // (another worker's batch holds them), a path past the system's limit,
    // a refused batch. Opened alone, it waits for a descriptor or goes
    // folder by folder.
    if (outOfDescriptors(file.error) || file.error == ENAMETOOLONG || (file.error == 0 && !file.regular && !file.folder))
        return count(path, control);
    FileCount failed;
    if (file.error != 0 || !file.regular) {
        failed.folder = file.error == 0 && file.folder;
        failed.error = file.error != 0 ? describeErrno(file.error)
                       : failed.folder ? describeErrno(EISDIR)
                                       : notARegularFile();
        return failed;
    }
    try {
        if (file.data)
            return countInPlace(file.data, std::size_t(file.got), *options, control);
        return countOpenFileWith(file.fd, file.size, *options, control, engine);
    } catch (const OptionsUnavailable &e) {
        failRun(QString::fromLocal8Bit(e.what()));
        return cancelledCount();
    } catch (const std::exception &e) {
        failed.error = QString::fromLocal8Bit(e.what());
        return failed;
    }
}

FileCount CountRun::Private::count(const QString &path, const CountControl &control)
{
    try {
        return countFileWith(path, *options, control, engine);
    } catch (const OptionsUnavailable &e) {
        // No file can be counted with these options: the run ends here.
        failRun(QString::fromLocal8Bit(e.what()));
        return cancelledCount();
    } catch (const std::exception &e) {
        // Nothing may escape a worker thread; the file fails instead.
        FileCount failed;
        failed.error = QString::fromLocal8Bit(e.what());
        return failed;
    }
}

// A folder among the paths: its files are counted here, one after the
// other, and wait in the slot for the delivery, a bounded number at a time.
// The workers behind go on with the paths after the folder meanwhile.
void CountRun::Private::countFolder(Slot &slot, PathSource &files, const CountControl &control)
{
    slot.folder = std::make_unique<FolderFiles>();
    FolderFiles &folder = *slot.folder;
    slot.result.store(SlotFolder, std::memory_order_release);
    auto hand = [&](FolderFile file) {
        std::unique_lock lock(roomMutex);
        room.wait(lock, [&] { return cancelFlag.load() || folder.files.size() < FolderBacklog; });
        folder.files.push_back(std::move(file));
    };
    while (!cancelFlag.load()) {
        PathEntry entry;
        try {
            entry = files.next();
        } catch (const std::exception &e) {
            entry = PathEntry::failure(slot.path, QString::fromLocal8Bit(e.what()));
        }
        if (entry.kind == PathEntry::Kind::End)
            break;
        if (entry.kind == PathEntry::Kind::Path) {
            const FileCount result = count(entry.path, control);
            if (result.cancelled)
                break;
            hand({std::move(entry.path), valueOf(result), result.error});
        } else {
            // A folder's walk has no fatal end: what it cannot read fails in place.
            hand({std::move(entry.path), SlotFailed, std::move(entry.reason)});
        }
    }
    std::lock_guard lock(roomMutex);
    folder.done = true;
}

void CountRun::Private::postDelivery()
{
    // One pending delivery at a time: deliver() clears the flag before it
    // looks at the results, so a file finished after that posts again.
    if (!deliveryPosted.exchange(true))
        QMetaObject::invokeMethod(&context, [this] { deliver(); }, Qt::QueuedConnection);
}

void CountRun::Private::wakeWorkers()
{
    // Taking the lock orders this wake-up after a waiter's last look at
    // `delivered`, so none sleeps through it.
    { std::lock_guard lock(roomMutex); }
    room.notify_all();
}

void CountRun::Private::deliver()
{
    deliveryPosted.store(false);
    if (phase != Phase::Running)
        return;
    const qint64 stop = delivered.load() + DeliveryBatch;
    // A slot connected to a signal may cancel the run, or delete it, or run
    // a nested event loop that delivers in its turn: `delivered` is read
    // afresh for every file.
    QPointer<CountRun> guard(q);
    bool any = false;
    for (qint64 index = delivered.load(); index < stop && !cancelFlag.load(); index = delivered.load()) {
        Slot &s = entryAt(index);
        const std::uint64_t value = s.result.load(std::memory_order_acquire);
        if (value == SlotPending)
            break;
        if (value == SlotFolder) {
            const bool done = deliverFolder(s);
            if (!guard)
                return;
            if (!done)
                break;
            // A nested event loop may have delivered past it meanwhile.
            if (delivered.load() != index)
                continue;
        }
        const QString path = std::move(s.path);
        const QString reason = std::move(s.reason);
        s.path = QString();
        s.reason = QString();
        s.folder.reset();
        bytesAhead.fetch_sub(s.bytes, std::memory_order_relaxed);
        s.bytes = 0;
        s.result.store(SlotPending, std::memory_order_relaxed);
        delivered.store(index + 1, std::memory_order_release);   // the slot may be reused now
        any = true;
        if (value != SlotFolder)
            emitFile(path, value, reason);
        if (!guard)
            return;
    }
    if (any)
        wakeWorkers();
    if (delivered.load() == stop && !cancelFlag.load()
        && entryAt(delivered.load()).result.load(std::memory_order_acquire) != SlotPending) {
        postDelivery();   // more is ready: let the event loop breathe first
    }
    maybeFinish();
}

void CountRun::Private::emitFile(const QString &path, std::uint64_t value, const QString &reason)
{
    const int index = clampToInt(emitted++);
    if (value == SlotFailed) {
        emit q->fileFailed(index, path, reason);
        return;
    }
    const std::uint64_t lines = value - 1;
    total += lines;
    if (mode == CountMode::Separate) {
        QPointer<CountRun> guard(q);
        emit q->rowReady(fileRow(lines, path));
        if (!guard)
            return;
    }
    emit q->fileCounted(index, path, lines);
}

// Hands over what the folder's worker has counted so far; true once the
// folder is finished and every one of its files delivered.
bool CountRun::Private::deliverFolder(Slot &slot)
{
    QPointer<CountRun> guard(q);
    for (int n = 0; n < DeliveryBatch && !cancelFlag.load(); ++n) {
        FolderFile file;
        {
            std::lock_guard lock(roomMutex);
            if (slot.folder->files.empty())
                return slot.folder->done;
            file = std::move(slot.folder->files.front());
            slot.folder->files.pop_front();
        }
        room.notify_all();
        emitFile(file.path, file.value, file.reason);
        if (!guard || !slot.folder)
            return false;
    }
    return false;
}

void CountRun::Private::reportProgress()
{
    // The lowest file in work is the one the delivery waits for. A slot at
    // or past `delivered` is not reused until the owner delivers it, which
    // cannot happen while this runs.
    const qint64 first = delivered.load();
    qint64 index = -1;
    std::uint64_t lines = 0;
    for (const WorkerState &state : workerStates) {
        const qint64 i = state.index.load(std::memory_order_acquire);
        if (i >= first && (index < 0 || i < index)) {
            index = i;
            lines = state.linesReached.load();
        }
    }
    if (index < 0 || (index == lastProgressIndex && lines == lastProgressLines))
        return;
    lastProgressIndex = index;
    lastProgressLines = lines;
    const qint64 count = sizeHint >= 0 ? sizeHint : pulled.load();
    emit q->progress(clampToInt(index), clampToInt(count), entryAt(index).path, lines);
}

void CountRun::Private::maybeFinish()
{
    if (phase != Phase::Running || !workersDone)
        return;
    const bool cancelled = cancelFlag.load();
    if (!cancelled && delivered.load() < pulled.load())
        return;   // results still queued behind this call
    joinWorkers();
    phase = Phase::Finished;
    progressTimer.stop();
    deliveryTimer.stop();
    QPointer<CountRun> guard(q);
    QString failed;
    {
        std::lock_guard lock(failureMutex);
        failed = failure;
    }
    if (!failed.isNull()) {
        emit q->runFailed(failed);
        if (guard)
            emit q->finished(true);
        return;
    }
    if (!cancelled && !fatalReason.isNull()) {
        emit q->inputFailed(fatalReason);
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

void CountRun::Private::joinWorkers()
{
    for (const pthread_t thread : threads)
        ::pthread_join(thread, nullptr);
    threads.clear();
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
    d->joinWorkers();
    // d->context goes with d, and with it every call the workers queued.
}

void CountRun::setJobs(int jobs)
{
    d->jobs = std::max(0, jobs);
}

void CountRun::setLowPriorityWorkers(bool low)
{
    d->lowPriority = low;
}

void CountRun::setThreadStartLimit(int threads)
{
    d->threadStartLimit = threads;
}

void CountRun::start()
{
    if (d->phase != Private::Phase::Idle)
        return;
    d->phase = Private::Phase::Running;
    // With nothing to count (no mode, cancelled before start, an empty
    // list) the run still ends through the event loop, so that start()
    // never emits directly.
    if (d->mode == CountMode::None || d->cancelFlag.load() || d->sizeHint == 0) {
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
    d->deliveryTimer.start();
}

void CountRun::cancel()
{
    // The workers stop at their next block or their next path; the last
    // one to leave ends the run through maybeFinish(). Nothing is delivered
    // after this point.
    d->cancelFlag.store(true);
    d->wakeWorkers();
    { std::lock_guard lock(d->diskMutex); }
    d->disk.notify_all();
}

bool CountRun::isRunning() const
{
    return d->phase == Private::Phase::Running;
}

} // namespace brinmoor::counting
