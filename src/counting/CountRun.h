#pragma once

#include "CountOptions.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace brinmoor::counting {

// One counting run over a fixed list of paths, on worker threads.
//
// Everything it reports arrives through queued signals on the thread that
// owns the run (the GUI thread in the window), in file-list order: a file's
// row and failure are delivered only when every earlier file is done.
// Progress is throttled to about 30 updates a second.
class CountRun : public QObject
{
    Q_OBJECT
public:
    // paths and mode are read once, here; options is read before every read
    // block, so changes made during the run apply from the next block on.
    CountRun(QStringList paths, CountMode mode, std::shared_ptr<const OptionsSource> options,
             QObject *parent = nullptr);
    ~CountRun() override;   // cancels and waits for the workers

    void setJobs(int jobs);   // worker threads; 0 (the default) uses every core
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
    void progress(int index, int count, const QString &path, quint64 lineIndex);
    // The sum over counted files, once at the end unless cancelled.
    void totalCounted(quint64 total);
    // Last signal of a run, also after cancel.
    void finished(bool cancelled);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brinmoor::counting
