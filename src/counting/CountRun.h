#pragma once

#include "CountOptions.h"
#include "PathSource.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace brinmoor::counting {

// Called first thing by a program that counts: fits the process to the
// limits it runs under. Raises the soft limit on open files to the hard one
// (runs also do this as they start), and under an address-space limit
// (ulimit -v) has threads share one malloc arena, since each thread's own
// would reserve 64 MiB of that space and leave none for the next thread.
void fitToProcessLimits();

// One counting run over a list of paths, on worker threads.
//
// Everything it reports arrives through queued signals on the thread that
// owns the run (the GUI thread in the window), in list order: a file's row
// and failure are delivered only when every earlier file is done. Results
// are handed over in batches, a few hundred times a second at most, and
// progress about 30 times a second.
//
// The paths are pulled from a PathSource only a bounded number ahead of
// what has been delivered, so memory stays bounded however long the list,
// and counting starts while the source is still producing.
class CountRun : public QObject
{
    Q_OBJECT
public:
    // paths and mode are read once, here; options is read before every read
    // block, so changes made during the run apply from the next block on.
    CountRun(QStringList paths, CountMode mode, std::shared_ptr<const OptionsSource> options,
             QObject *parent = nullptr);
    // The same with paths pulled from source as the run goes.
    CountRun(std::unique_ptr<PathSource> source, CountMode mode, std::shared_ptr<const OptionsSource> options,
             QObject *parent = nullptr);
    ~CountRun() override;   // cancels and waits for the workers

    // Worker threads; 0 (the default) counts with one per core. Each reads
    // small files in batches where the system allows it (FileBatchReader);
    // where it reads them one by one, more workers join in, up to 16 in all,
    // while the files come from the disk.
    void setJobs(int jobs);
    // Workers then run at a lower scheduling priority than the thread that
    // starts the run. Up to 16 of them while files come from the disk would
    // otherwise take their fair shares of the CPU from a GUI thread that
    // must answer within a few tens of milliseconds. A console run leaves
    // it off: there it would only lose time to unrelated programs.
    void setLowPriorityWorkers(bool low);
    // Tests: at most this many worker threads start, as if the system
    // refused the rest (a low process limit, no address space left).
    void setThreadStartLimit(int threads);
    void start();
    void cancel();            // safe to call at any time, also before start
    bool isRunning() const;

signals:
    // A row for the results list: per file in separate mode, the total row
    // at the end in one-count mode.
    void rowReady(const QString &row);
    // Every counted file, in both modes (for scripts and exports).
    void fileCounted(int index, const QString &path, quint64 lines);
    // A file that could not be counted: no row, the run goes on.
    void fileFailed(int index, const QString &path, const QString &description);
    // index is 0-based into the paths; lineIndex is the 0-based position of
    // the line being examined in it (the lines passed so far, counted or not).
    // count is the number of paths when the source knows it, otherwise the
    // number taken from it so far.
    void progress(int index, int count, const QString &path, quint64 lineIndex);
    // The source said its input is not a list of paths. Everything before
    // that point has been delivered; the run then ends as if cancelled (no
    // total), with finished(true).
    void inputFailed(const QString &reason);
    // The run could not go on: no worker thread could start, or the options
    // could not be prepared. What was delivered before stands; finished(true)
    // follows.
    void runFailed(const QString &reason);
    // The sum over counted files, once at the end unless cancelled.
    void totalCounted(quint64 total);
    // Last signal of a run, also after cancel.
    void finished(bool cancelled);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brinmoor::counting
