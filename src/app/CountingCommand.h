#pragma once

#include "BusyState.h"
#include "CommandContext.h"
#include "ErrorReporter.h"

#include <QObject>

#include <functional>
#include <memory>

namespace brinmoor::counting {
enum class CountMode;
class CountRun;
class SharedOptions;
} // namespace brinmoor::counting

namespace brinmoor {
class TextListModel;
}

namespace brinmoor::app {

class CaptionProgressBar;
class ResultRows;

// "Start Counting": the run over the file list on worker threads, its rows
// in the results list, its progress caption, its failures and "Done.".
// GUI thread only.
class CountingCommand : public QObject
{
    Q_OBJECT
public:
    // What the command works on; all of it outlives it.
    struct Context
    {
        const TextListModel &files;
        ResultRows &results;
        CaptionProgressBar &progress;
        BusyState &busy;
        ErrorReporter &reporter;
        Boxes boxes;
        // The count mode the option buttons select now.
        std::function<counting::CountMode()> countMode;
        // What the run reads before every block.
        std::shared_ptr<const counting::SharedOptions> options;
        // Worker threads (0: every core).
        int jobs = 0;
    };

    explicit CountingCommand(Context context, QObject *parent = nullptr);
    // Stops the workers before the lists they report into go.
    ~CountingCommand() override;

    void startCounting();
    bool isCounting() const { return m_counting; }
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
    void startRun(counting::CountMode mode);
    void showProgress(int index, const QString &path, quint64 lineIndex);
    void runFinished(bool cancelled);
    void endRun(bool showDone);

    Context m_c;
    // The running count; the lease keeps the busy pointer up meanwhile.
    counting::CountRun *m_run = nullptr;
    BusyState::Lease m_runBusy;
    // The run's failures after the first, shown as one box at its end.
    std::unique_ptr<ErrorReporter::Gathering> m_failures;
    bool m_counting = false;
    bool m_closing = false;
};

} // namespace brinmoor::app
