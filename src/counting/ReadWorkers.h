#pragma once

#include "CountEngine.h"
#include "DiskRule.h"
#include "LineCounter.h"
#include "PathSource.h"
#include "ResultRing.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include <pthread.h>

namespace brinmoor::counting {

class FileBatchReader;
struct BatchFile;

// What became of one path, or of one file of a folder met among them.
struct RunResult
{
    QString path;
    QString reason;            // why it failed
    std::uint64_t lines = 0;   // when it did not
    bool failed = false;
};

using RunResults = ResultRing<RunResult>;

// The worker threads of a run: they pull paths from the source, count
// them and finish their places in the results, in any order.
//
// Each worker reads small files in batches where the system allows it
// (FileBatchReader) and file by file otherwise, from then on also when a
// batch is refused. Reading file by file with the number of workers left
// to the run, more workers join in while the files come from the disk
// (DiskRule). A folder among the paths is walked and counted in its place
// by the worker that met it.
class ReadWorkers
{
public:
    // Called on the thread named; both must return at once.
    struct Hooks
    {
        std::function<void()> resultsFull;   // MULTIPLE THREADS: a worker waits for the results to be taken
        std::function<void()> allLeft;       // once, on the thread of the last worker to leave
    };

    // source, options and results must outlive the workers.
    ReadWorkers(PathSource &source, const OptionsSource &options, RunResults &results, Hooks hooks);
    ~ReadWorkers();   // cancels and waits for the workers

    // Settings, before start(); see CountRun.
    void setJobs(int jobs) { m_jobs = jobs; }
    void setLowPriority(bool low) { m_lowPriority = low; }
    void setThreadStartLimit(int threads) { m_threadStartLimit = threads; }
    // Whether someone takes the progress: the workers then track the lines
    // they passed.
    void setWatched(bool watched) { m_watched = watched; }

    // Starts the workers, as many as the paths need when the source knows
    // how many (sizeHint >= 0). When none can start, the run fails.
    void start(qint64 sizeHint);
    void join();

    // MULTIPLE THREADS: the workers stop at their next read block or path,
    // and no wait for room in the results begins again.
    void cancel();
    bool cancelled() const { return m_cancel.load(); }

    // Paths taken from the source so far.
    qint64 pulled() const { return m_pulled.load(); }
    // The lowest place at or after `first` a worker counts, and the lines
    // it passed in it; false when none does.
    bool lowestInWork(qint64 first, qint64 &index, std::uint64_t &lines) const;
    // Why the run cannot go on (a thread that could not start, options
    // that could not be prepared), and why the source ended early: null
    // when it did not. Read once the workers have left.
    QString failure() const;
    QString fatalReason() const { return m_fatalReason; }

private:
    // A path taken from the source, with its place in the run.
    struct Taken
    {
        qint64 index;
        QString path;
    };
    // Per worker, polled by the owner's progress timer.
    struct WorkerState
    {
        std::atomic<qint64> index{-1};   // place being counted, -1 when idle
        std::atomic<std::uint64_t> linesReached{0};
        std::atomic<bool> waitedForDisk{false};
    };

    // All below run on a worker thread unless said otherwise.
    void plan(int workers, int counting);   // owner's thread
    void work(int worker, bool extra);
    bool workInBatches(WorkerState &state, const CountControl &control, FileBatchReader &reader);
    void workFileByFile(WorkerState &state, const CountControl &control, bool extra);
    void take(std::vector<Taken> &taken, std::size_t most);
    FileCount count(const QString &path, const CountControl &control);
    FileCount countLoaded(BatchFile &file, const QString &path, const CountControl &control);
    void finishFile(const Taken &file, const FileCount &result, const CountControl &control);
    void countFolder(qint64 index, PathSource &files, const CountControl &control);
    void leave(int workers);              // MULTIPLE THREADS
    void fail(const QString &reason);     // MULTIPLE THREADS

    PathSource &m_source;
    const OptionsSource &m_options;
    RunResults &m_results;
    const Hooks m_hooks;
    int m_jobs = 0;
    bool m_lowPriority = false;
    int m_threadStartLimit = -1;
    bool m_watched = true;

    // Decided as the workers start, from their number and the descriptors
    // left.
    EngineConfig m_engine;
    int m_readers = 0;              // workers that read in batches
    std::size_t m_batchFiles = 0;   // per batch
    std::size_t m_arenaSize = 0;

    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_workersLeft{0};
    std::vector<WorkerState> m_states;
    DiskRule m_disk{m_cancel};
    // A batch reader's ring failed: every worker reads file by file from
    // then on.
    std::atomic<bool> m_batchesFailed{false};

    // The source side: one worker at a time calls the source.
    std::mutex m_sourceMutex;
    std::atomic<qint64> m_pulled{0};   // written under m_sourceMutex
    bool m_sourceDone = false;         // guarded by m_sourceMutex
    QString m_fatalReason;             // guarded by m_sourceMutex

    mutable std::mutex m_failureMutex;
    QString m_failure;                 // set once, guarded by m_failureMutex

    std::vector<pthread_t> m_threads;   // owner's thread only
};

} // namespace brinmoor::counting
