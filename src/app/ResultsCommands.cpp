#include "ResultsCommands.h"

#include "CaptionProgressBar.h"
#include "ErrorReporter.h"
#include "FailureReports.h"
#include "Procedure.h"
#include "ResultRows.h"
#include "RunSummary.h"

#include "AddFiles.h"
#include "AlignedText.h"
#include "Clipboard.h"
#include "DesktopApplications.h"
#include "ExportTexts.h"
#include "FileOutput.h"
#include "FileListDialogs.h"
#include "FilePaths.h"
#include "ListSource.h"
#include "ResultsWorkbook.h"
#include "SpreadsheetPresence.h"
#include "TextListModel.h"

#include <QDir>

#include <memory>

namespace brinmoor::app {

namespace {

// The last run's lines by extension for the workbook's second sheet; none
// before any run counted a file.
std::shared_ptr<const exports::SummarySheet> summarySheet(const RunSummary &summary)
{
    const summary::Summary &current = summary.current();
    if (current.isEmpty())
        return nullptr;
    return std::make_shared<const exports::SummarySheet>(
        exports::SummarySheet{summary::extensionRows(current), current.files(), current.lines()});
}

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

} // namespace

ResultsCommands::ResultsCommands(Context context, QObject *parent)
    : QObject(parent)
    , m_c(std::move(context))
{
    // A save into a pipe whose reader leaves must fail that save, not end
    // the program with every list in it.
    exports::ignoreBrokenPipes();
    if (!m_c.services.findSpreadsheet)
        m_c.services.findSpreadsheet = [] { return defaultApplication(text(exports::WorkbookMimeType)); };
    if (!m_c.services.openWorkbook) {
        m_c.services.openWorkbook = [](const DesktopApplication &application, const QString &path) {
            // The workbook is left unsaved for the user: where the spreadsheet
            // program can, it opens as a new untitled document, so that saving
            // it does not offer the cache folder it was written to.
            if (const auto command = exports::untitledOpenCommand(application.id, application.commandLine))
                return launchCommand(*command, path);
            return launchApplication(application.id, path);
        };
    }
    // Two exports may overlap (nothing stops a second press); more would
    // only queue behind them.
    m_pool.setMaxThreadCount(2);
}

ResultsCommands::~ResultsCommands()
{
    // The workers post back to this object; once they are done, what they
    // posted goes with it. A save waiting on a pipe would never be done.
    stopSaves();
    m_pool.waitForDone();
    m_leases.clear();
}

exports::ResultRowsSource ResultsCommands::snapshot() const
{
    // Shared copies, not a row-by-row copy: a million rows copied here held
    // the GUI thread for longer than a user may wait for a button.
    const TextListModel &model = m_c.results.model();
    return exports::ResultRowsSource(model.header(), model.texts(), model.checkedStates());
}

int ResultsCommands::holdBusy()
{
    const int job = m_nextJob++;
    m_leases.emplace(job, m_c.busy.acquire());
    return job;
}

void ResultsCommands::releaseBusy(int job)
{
    m_leases.erase(job);
}

void ResultsCommands::stopSaves()
{
    for (const auto &[job, stop] : m_saveStops)
        stop->stop();
}

// ------------------------------------------------- Save Results As Text File

void ResultsCommands::saveResultsAsTextFile()
{
    Procedure p(m_c.reporter, location::SaveTextFile);
    int job = -1;
    const bool started = p.run([&] {
        p.step(100);
        const QString path = m_c.services.fileDialogs->chooseSaveFile(
            text(exports::texts::SaveDialogTitle), filelist::qtFileFilters(text(exports::texts::SaveDialogFilter)),
            m_c.saveDialogChoice.filterIndex);
        if (path.isEmpty())
            return;
        p.step(102);
        if (filelist::PathExists(path) && !m_c.boxes.confirm(exports::overwriteQuestion(path)))
            return;
        p.step(104);
        job = holdBusy();
        auto rows = std::make_shared<const exports::ResultRowsSource>(snapshot());
        p.step(106);
        CaptionProgressBar *bar = &m_c.progress;
        auto stop = std::make_shared<exports::WriteStop>();
        m_saveStops.emplace(job, stop);
        m_pool.start([this, job, rows, path, bar, stop] {
            const auto forward = [this, bar](int value, const QString &caption) {
                QMetaObject::invokeMethod(this, [bar, value, caption] {
                    bar->setValue(value);
                    bar->setCaption(caption);
                }, Qt::QueuedConnection);
            };
            const std::optional<Failure> failure =
                textFileReport(exports::SaveListviewProperlySpaced(*rows, path, forward, stop));
            QMetaObject::invokeMethod(this, [this, job, failure] { finishTextFile(job, failure); },
                                      Qt::QueuedConnection);
        });
    });
    if (!started) {
        m_saveStops.erase(job);
        releaseBusy(job);
    }
}

void ResultsCommands::finishTextFile(int job, const std::optional<Failure> &failure)
{
    Procedure p(m_c.reporter, location::SaveTextFile);
    p.run([&] {
        p.step(108);
        releaseBusy(job);
        const auto stop = m_saveStops.extract(job);
        // The user stopped it: nothing to report, and no "Done.".
        if (!stop.empty() && stop.mapped()->stopped())
            return;
        // The writer's own report: its location and the step it failed at.
        if (failure) {
            m_c.reporter.report(*failure);
            return;
        }
        // Only a file written whole earns "Done.".
        p.step(110);
        m_c.boxes.tell(text(exports::texts::Done));
    });
    emit exportFinished();
}

// ------------------------------------------------ Save Results As Excel File

void ResultsCommands::saveResultsAsExcelFile()
{
    Procedure p(m_c.reporter, location::SaveExcelFile);
    // Asking the desktop reads its application folders, which may be slow:
    // the answer comes back as a queued call.
    int job = -1;
    const bool asked = p.run(100, [&] {
        job = holdBusy();
        m_pool.start([this, job] {
            const std::optional<DesktopApplication> application = m_c.services.findSpreadsheet();
            QMetaObject::invokeMethod(this, [this, job, application] { writeWorkbook(job, application); },
                                      Qt::QueuedConnection);
        });
    });
    if (!asked)
        releaseBusy(job);
}

void ResultsCommands::writeWorkbook(int job, const std::optional<DesktopApplication> &application)
{
    Procedure p(m_c.reporter, location::SaveExcelFile);
    bool started = false;
    p.run([&] {
        if (!application) {
            releaseBusy(job);
            // The presence test's own box, then the command's.
            p.step(102);
            m_c.boxes.tell(text(exports::texts::SpreadsheetMissingForProgram));
            p.step(104);
            m_c.boxes.tell(text(exports::texts::SpreadsheetMissingForFeature));
            return;
        }
        p.step(108);
        if (m_c.results.model().count() == 0)
            return;
        p.step(110);
        auto rows = std::make_shared<const exports::ResultRowsSource>(snapshot());
        auto summary = summarySheet(m_c.summary);
        m_pool.start([this, job, rows, summary, application = *application] {
            exports::WorkbookFile workbook =
                exports::createResultsWorkbook(*rows, exports::workbookFolder(), {}, summary.get());
            // Starting the program may wait on the session bus.
            const bool opened = workbook.path.isEmpty() || m_c.services.openWorkbook(application, workbook.path);
            QMetaObject::invokeMethod(this, [this, job, workbook, opened] {
                finishWorkbook(job, workbook.path, workbookReports(workbook.failures), opened);
            }, Qt::QueuedConnection);
        });
        started = true;
    });
    if (!started) {
        releaseBusy(job);
        emit exportFinished();
    }
}

void ResultsCommands::finishWorkbook(int job, const QString &path, const QList<Failure> &failures, bool opened)
{
    for (const Failure &failure : failures)
        m_c.reporter.report(failure);
    if (!opened) {
        Procedure p(m_c.reporter, location::SaveExcelFile);
        p.run(112, [&] {
            failStep(QStringLiteral("The desktop could not open %1.").arg(QDir::toNativeSeparators(path)));
        });
    }
    releaseBusy(job);
    emit exportFinished();
}

// ------------------------------------------------- Copy Results To Clipboard

void ResultsCommands::copyResultsToClipboard()
{
    Procedure p(m_c.reporter, location::CopyToClipboard);
    int job = -1;
    bool copying = false;
    bool nothingToCopy = false;
    p.run([&] {
        p.step(100);
        m_c.progress.setCaption(text(exports::texts::CopyingCaption));
        p.step(102);
        job = holdBusy();
        p.step(104);
        if (m_c.results.model().count() == 0) {
            // Nothing to copy: the clipboard keeps what it holds.
            nothingToCopy = true;
            p.step(106);
            m_c.boxes.tell(text(exports::texts::NothingToCopy));
            return;
        }
        auto rows = std::make_shared<const exports::ResultRowsSource>(snapshot());
        m_pool.start([this, job, rows] {
            const QString clipText = exports::CopyListviewProperlySpaced(*rows);
            QMetaObject::invokeMethod(this, [this, job, clipText] { finishCopy(job, clipText); },
                                      Qt::QueuedConnection);
        });
        copying = true;
    });
    if (copying)
        return;
    endCopy(job);
    if (nothingToCopy)
        emit exportFinished();
}

void ResultsCommands::finishCopy(int job, const QString &clipText)
{
    Procedure p(m_c.reporter, location::CopyToClipboard);
    p.run([&] {
        p.step(104);
        if (!m_c.services.clipboard->placeText(clipText))
            failStep(QStringLiteral("The clipboard did not take the text: another program may be holding it."));
        // The box comes while the busy pointer still shows, and only when
        // the text is really there.
        p.step(106);
        m_c.boxes.tell(text(exports::texts::CopiedToClipboard));
    });
    endCopy(job);
    emit exportFinished();
}

void ResultsCommands::endCopy(int job)
{
    releaseBusy(job);
    m_c.progress.setCaption(text(exports::texts::IdleCaption));
}

// ---------------------------------------------------------------- Clear List

void ResultsCommands::clearResults()
{
    Procedure p(m_c.reporter, location::ClearResults);
    p.run(100, [&] { m_c.results.clear(); });
}

} // namespace brinmoor::app
