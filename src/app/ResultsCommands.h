#pragma once

#include "BusyState.h"
#include "CommandContext.h"
#include "ResultsServices.h"

#include <QObject>
#include <QThreadPool>

#include <map>
#include <memory>
#include <optional>

namespace brinmoor {
struct Failure;
namespace exports {
class ResultRowsSource;
class WriteStop;
}
} // namespace brinmoor

namespace brinmoor::app {

class CaptionProgressBar;
class ErrorReporter;
class ResultRows;
class RunSummary;

// The commands under the results list: "Save Results As Text File",
// "Save Results As Excel File", "Copy Results To Clipboard" and its
// "Clear List".
//
// An export copies the rows out of the list on the GUI thread (cheap: the
// texts are shared) and does the work on a thread of its own, so a list of
// a million rows never stalls the window; progress and the outcome come back
// as queued calls; so does the desktop's answer to which program opens
// workbooks. The list may change meanwhile: the export writes the
// rows as they were when it started. GUI thread only.
class ResultsCommands : public QObject
{
    Q_OBJECT
public:
    // What the commands work on; all of it outlives them.
    struct Context
    {
        ResultRows &results;
        CaptionProgressBar &progress;
        BusyState &busy;
        ErrorReporter &reporter;
        Boxes boxes;
        // Where the text export's save dialog starts (shared with the
        // file list's "Add File(s)").
        FileDialogChoice &saveDialogChoice;
        // The last run's lines by extension, the workbook's second sheet.
        const RunSummary &summary;
        // Its save dialog and clipboard are set.
        ResultsServices services;
    };

    explicit ResultsCommands(Context context, QObject *parent = nullptr);
    // Waits for exports still running; delete before the window's busy state.
    ~ResultsCommands() override;

    void saveResultsAsTextFile();
    void saveResultsAsExcelFile();
    void copyResultsToClipboard();
    void clearResults();

    // Exports whose work has not come back yet.
    int runningExports() const { return int(m_leases.size()); }
    // Text saves still writing: a pipe's reader may keep one waiting.
    int runningSaves() const { return int(m_saveStops.size()); }
    // Stops every text save soon, even one waiting on a pipe (the stop
    // control, Esc, closing the window). The target keeps what it had: a
    // replaced file stays as it was, a pipe keeps what it was sent.
    void stopSaves();

signals:
    // After a command's work came back and its last box closed.
    void exportFinished();

private:
    exports::ResultRowsSource snapshot() const;
    int holdBusy();
    void releaseBusy(int job);
    void finishTextFile(int job, const std::optional<Failure> &failure);
    void writeWorkbook(int job, const std::optional<DesktopApplication> &application);
    void finishWorkbook(int job, const QString &path, const QList<Failure> &failures, bool opened);
    void finishCopy(int job, const QString &text);
    void endCopy(int job);

    Context m_c;
    QThreadPool m_pool;
    // The busy pointer stays up while any export runs.
    std::map<int, BusyState::Lease> m_leases;
    std::map<int, std::shared_ptr<exports::WriteStop>> m_saveStops;
    int m_nextJob = 0;
};

} // namespace brinmoor::app
