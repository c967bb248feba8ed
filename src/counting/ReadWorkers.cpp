#include "ReadWorkers.h"

#include "FileBatch.h"
#include "FileSource.h"
#include "Paths.h"
#include "WorkerThreads.h"

#include <QThread>

#include <algorithm>
#include <cerrno>
#include <exception>

#include <unistd.h>

namespace brinmoor::counting {

namespace {

// Workers when the caller names no number and files are read one by one:
// one per core counts, and while files come from the disk (not from the
// page cache) more join in, up to this many in all (see DiskRule).
constexpr int DiskWorkers = 16;
// How much nicer than the owner low-priority workers are. At 10 a worker
// weighs about a tenth of the owner with the scheduler, so the owner gets
// most of a core however many workers are busy.
constexpr int LowPriorityNiceness = 10;
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

qint64 textBytes(const QString &text)
{
    return text.size() * qint64(sizeof(QChar));
}

} // namespace

ReadWorkers::ReadWorkers(PathSource &source, const OptionsSource &options, RunResults &results, Hooks hooks)
    : m_source(source)
    , m_options(options)
    , m_results(results)
    , m_hooks(std::move(hooks))
    , m_batchFiles(FileBatchReader::MaxFiles)
    , m_arenaSize(FileBatchReader::MaxArenaSize)
{
}

ReadWorkers::~ReadWorkers()
{
    cancel();
    join();
}

void ReadWorkers::start(qint64 sizeHint)
{
    // idealThreadCount() honours the CPU affinity mask (taskset, containers);
    // hardware_concurrency() counts every core of the machine.
    const int counting = std::max(1, m_jobs > 0 ? m_jobs : QThread::idealThreadCount());
    // Batched reads keep the disk busy from the counting workers alone.
    int wanted = m_jobs > 0 || FileBatchReader::available() ? counting : std::max(counting, DiskWorkers);
    if (sizeHint >= 0)
        wanted = int(std::clamp<qint64>(sizeHint, 1, wanted));
    raiseDescriptorLimit();
    plan(wanted, counting);
    m_states = std::vector<WorkerState>(std::size_t(wanted));
    m_workersLeft = wanted;
    m_threads.reserve(std::size_t(wanted));
    // A thread the system will not start (a process limit, no address
    // space left) leaves the run to those that started.
    int refused = 0;
    for (int w = 0; w < wanted; ++w) {
        pthread_t thread;
        const int rc = m_threadStartLimit >= 0 && w >= m_threadStartLimit
            ? EAGAIN
            : startThread(&thread, WorkerStack, [this, w, counting] { work(w, w >= counting); });
        if (rc != 0) {
            refused = rc;
            break;
        }
        m_threads.push_back(thread);
    }
    if (m_threads.empty())
        fail(QStringLiteral("Could not start a thread to count with: %1").arg(describeErrno(refused)));
    if (const int missing = wanted - int(m_threads.size()))
        leave(missing);
}

// What the workers may take: the read blocks and the batches share fixed
// budgets of memory and of the descriptors left, so that neither grows
// with the number of workers nor runs out under a low limit.
void ReadWorkers::plan(int workers, int counting)
{
    m_engine.blockSize = std::clamp(BlockBudget / std::size_t(workers), MinBlock, EngineConfig{}.blockSize);
    m_readers = FileBatchReader::available() ? std::min(counting, std::max(MaxReaders, QThread::idealThreadCount())) : 0;
    const long free = descriptorsFree();
    // One descriptor per worker that reads file by file, one ring and a
    // batch per reader.
    const long usable = free - std::clamp(free / 8, MinReserve, MaxReserve) - (workers - m_readers);
    while (m_readers > 0 && usable / m_readers - 1 < 2)
        --m_readers;
    if (m_readers > 0)
        m_batchFiles = std::size_t(std::clamp<long>(usable / m_readers - 1, 1, long(FileBatchReader::MaxFiles)));
    m_arenaSize = std::clamp(ArenaBudget / std::size_t(std::max(m_readers, 1)), MinArena, FileBatchReader::MaxArenaSize);
}

void ReadWorkers::join()
{
    for (const pthread_t thread : m_threads)
        ::pthread_join(thread, nullptr);
    m_threads.clear();
}

void ReadWorkers::cancel()
{
    m_cancel.store(true);
    m_results.stop();
    m_disk.wake();
}

void ReadWorkers::leave(int workers)
{
    if (m_workersLeft.fetch_sub(workers) == workers)
        m_hooks.allLeft();
}

void ReadWorkers::fail(const QString &reason)
{
    {
        std::lock_guard lock(m_failureMutex);
        if (m_failure.isNull())
            m_failure = reason;
    }
    cancel();
}

QString ReadWorkers::failure() const
{
    std::lock_guard lock(m_failureMutex);
    return m_failure;
}

bool ReadWorkers::lowestInWork(qint64 first, qint64 &index, std::uint64_t &lines) const
{
    index = -1;
    for (const WorkerState &state : m_states) {
        const qint64 i = state.index.load(std::memory_order_acquire);
        if (i >= first && (index < 0 || i < index)) {
            index = i;
            lines = state.linesReached.load();
        }
    }
    return index >= 0;
}

// Up to `most` paths to count, with their places: it waits for the first,
// then takes only what the source has ready, so that paths a slow pipe sent
// are counted while it waits for more. Empty when the source is done or the
// run cancelled. Failures the source reports are finished on the way.
void ReadWorkers::take(std::vector<Taken> &taken, std::size_t most)
{
    taken.clear();
    std::lock_guard sourceLock(m_sourceMutex);
    for (;;) {
        if (m_sourceDone || m_cancel.load())
            return;
        if (!taken.empty() && (taken.size() >= most || !m_source.ready()))
            return;
        const qint64 index = m_pulled.load(std::memory_order_relaxed);
        if (!m_results.hasRoom(index)) {
            if (!taken.empty())
                return;
            // Full: make sure the owner comes by soon, then wait for it.
            m_hooks.resultsFull();
            m_results.waitForRoom(index);
            continue;
        }
        PathEntry entry;
        try {
            entry = m_source.next();
        } catch (const std::exception &e) {
            entry = PathEntry::fatal(QString::fromLocal8Bit(e.what()));
        }
        switch (entry.kind) {
        case PathEntry::Kind::End:
            m_sourceDone = true;
            m_disk.noMorePaths();
            return;
        case PathEntry::Kind::Fatal:
            m_sourceDone = true;
            m_fatalReason = entry.reason;
            m_disk.noMorePaths();
            return;
        case PathEntry::Kind::Failure: {
            RunResult &failed = m_results.at(index);
            failed.path = std::move(entry.path);
            failed.reason = std::move(entry.reason);
            failed.failed = true;
            m_results.claim(index, textBytes(failed.path) + textBytes(failed.reason));
            m_results.finish(index);
            m_pulled.store(index + 1, std::memory_order_relaxed);
            continue;
        }
        case PathEntry::Kind::Path:
            m_results.at(index).path = entry.path;
            m_results.claim(index, textBytes(entry.path));
            taken.push_back({index, std::move(entry.path)});
            m_pulled.store(index + 1, std::memory_order_relaxed);
            continue;
        }
    }
}

void ReadWorkers::work(int worker, bool extra)
{
    if (m_lowPriority)
        lowerThreadPriority(LowPriorityNiceness);
    WorkerState &state = m_states[std::size_t(worker)];
    bool fileByFile = true;
    if (!extra && worker < m_readers && !m_batchesFailed.load()) {
        if (const std::unique_ptr<FileBatchReader> reader = FileBatchReader::create(m_arenaSize)) {
            const CountControl control{&m_cancel, m_watched ? &state.linesReached : nullptr, nullptr};
            fileByFile = workInBatches(state, control, *reader);
        }
    }
    if (fileByFile) {
        const CountControl control{&m_cancel, m_watched ? &state.linesReached : nullptr, &state.waitedForDisk};
        workFileByFile(state, control, extra);
    }
    state.index.store(-1);
    leave(1);
}

// Paths a batch at a time: the reader opens and reads the batch's small
// files together, then they are counted where they lie, one after the
// other. True when the worker is to go on file by file: the system refused
// the batches.
bool ReadWorkers::workInBatches(WorkerState &state, const CountControl &control, FileBatchReader &reader)
{
    std::vector<Taken> taken;
    std::vector<BatchFile> files;
    while (!m_cancel.load()) {
        if (m_batchesFailed.load())
            return true;
        take(taken, m_batchFiles);
        if (taken.empty())
            break;
        files.assign(taken.size(), BatchFile{});
        for (std::size_t k = 0; k < taken.size(); ++k)
            files[k].native = nativePath(taken[k].path);
        // A refused batch comes back untouched: its files are read one by
        // one like the rest of the run's.
        if (!reader.load(files))
            m_batchesFailed.store(true);
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

// One path at a time; an extra worker only while the files come from the
// disk.
void ReadWorkers::workFileByFile(WorkerState &state, const CountControl &control, bool extra)
{
    std::vector<Taken> taken;
    while (!m_cancel.load()) {
        if (extra && !m_disk.waitForTurn())
            break;
        take(taken, 1);
        if (taken.empty())
            break;
        state.linesReached.store(0);
        state.index.store(taken.front().index, std::memory_order_release);
        const FileCount result = count(taken.front().path, control);
        if (state.waitedForDisk.exchange(false, std::memory_order_relaxed))
            m_disk.readWaited();
        if (result.cancelled)
            break;
        finishFile(taken.front(), result, control);
    }
}

// What became of a path: its count or failure in its place, or the files
// of a folder in its place.
void ReadWorkers::finishFile(const Taken &file, const FileCount &result, const CountControl &control)
{
    RunResult &done = m_results.at(file.index);
    std::unique_ptr<PathSource> files;
    if (result.folder) {
        try {
            files = m_source.folder(file.path);
        } catch (const std::exception &e) {
            done.reason = QString::fromLocal8Bit(e.what());
        }
    }
    if (files) {
        countFolder(file.index, *files, control);
        return;
    }
    if (!result.ok && done.reason.isNull())
        done.reason = result.error;
    done.failed = !result.ok;
    done.lines = result.lines;
    m_results.finish(file.index);
}

FileCount ReadWorkers::countLoaded(BatchFile &file, const QString &path, const CountControl &control)
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
            return countInPlace(file.data, std::size_t(file.got), m_options, control);
        return countOpenFileWith(file.fd, file.size, m_options, control, m_engine);
    } catch (const OptionsUnavailable &e) {
        fail(QString::fromLocal8Bit(e.what()));
        return cancelledCount();
    } catch (const std::exception &e) {
        failed.error = QString::fromLocal8Bit(e.what());
        return failed;
    }
}

FileCount ReadWorkers::count(const QString &path, const CountControl &control)
{
    try {
        return countFileWith(path, m_options, control, m_engine);
    } catch (const OptionsUnavailable &e) {
        // No file can be counted with these options: the run ends here.
        fail(QString::fromLocal8Bit(e.what()));
        return cancelledCount();
    } catch (const std::exception &e) {
        // Nothing may escape a worker thread; the file fails instead.
        FileCount failed;
        failed.error = QString::fromLocal8Bit(e.what());
        return failed;
    }
}

// A folder among the paths: its files are counted here, one after the
// other, and wait in its place for the delivery, a bounded number at a
// time. The workers behind go on with the paths after the folder meanwhile.
void ReadWorkers::countFolder(qint64 index, PathSource &files, const CountControl &control)
{
    m_results.expand(index);
    while (!m_cancel.load()) {
        PathEntry entry;
        try {
            entry = files.next();
        } catch (const std::exception &e) {
            entry = PathEntry::failure(m_results.at(index).path, QString::fromLocal8Bit(e.what()));
        }
        if (entry.kind == PathEntry::Kind::End)
            break;
        RunResult file;
        file.path = std::move(entry.path);
        if (entry.kind == PathEntry::Kind::Path) {
            const FileCount result = count(file.path, control);
            if (result.cancelled)
                break;
            file.failed = !result.ok;
            file.lines = result.lines;
            file.reason = result.error;
        } else {
            // A folder's walk has no fatal end: what it cannot read fails in place.
            file.failed = true;
            file.reason = std::move(entry.reason);
        }
        if (!m_results.append(index, std::move(file)))
            break;
    }
    m_results.close(index);
}

} // namespace brinmoor::counting
