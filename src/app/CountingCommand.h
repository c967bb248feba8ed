#pragma once

#include "BusyState.h"
#include "ErrorReporter.h"

#include <QObject>
#include <QStringList>

#include <memory>

class QTimer;

namespace brinmoor::counting {
class CountRun;
class SharedOptions;
} // namespace brinmoor::counting

namespace brinmoor::app {

class MainWindow;

// "Start Counting": the run over the file list on worker threads, its rows
// in the results list, its progress caption, its failures and "Done.". It
// connects itself to the window's button. GUI thread only.
class CountingCommand : public QObject
{
    Q_OBJECT
public:
    // options is what the run reads before every block; jobs is the number
    // of worker threads (0: every core).
    CountingCommand(MainWindow &window, std::shared_ptr<const counting::SharedOptions> options, int jobs);
    // Stops the workers before the lists they report into go.
    ~CountingCommand() override;

    void startCounting();   // PushButton12
    bool isCounting() const { return m_counting; }
    // Empties the results list, rows of a run not yet shown included.
    void clearResultRows();
    // Stops a running count soon: the rows counted so far stay, no "Done.".
    void stop();
    // Stops a running count at once, without "Done.". For closing the window.
    void stopForClose();

signals:
    // After a run's "Done." box closed (or straight after the run, when the
    // window is closing).
    void finished();
    // A run was made and is about to start: for those who follow its
    // per-file results (the summary).
    void runStarted(const counting::CountRun &run);

private:
    void flushPendingRows();
    void showProgress(int index, const QString &path, quint64 lineIndex);
    void runFinished(bool cancelled);
    void endRun(bool showDone);

    MainWindow &m_window;
    std::shared_ptr<const counting::SharedOptions> m_options;
    int m_jobs = 0;
    // The running count; the lease keeps the busy pointer up meanwhile.
    counting::CountRun *m_run = nullptr;
    BusyState::Lease m_runBusy;
    // The run's failures after the first, shown as one box at its end.
    std::unique_ptr<ErrorReporter::Gathering> m_failures;
    bool m_counting = false;
    bool m_closing = false;
    QStringList m_pendingRows;
    QTimer *m_rowFlush = nullptr;
};

} // namespace brinmoor::app
