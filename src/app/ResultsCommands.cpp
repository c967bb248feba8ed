#include "ResultsCommands.h"

#include "CaptionProgressBar.h"
#include "ErrorReporter.h"
#include "FailureReports.h"
#include "MainWindow.h"
#include "Procedure.h"
#include "RunSummary.h"
#include "SummaryCommands.h"

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
#include "SystemClipboard.h"
#include "TextListModel.h"
#include "UserDialogs.h"
#include "WidgetFileListDialogs.h"

#include <QDir>
#include <QPushButton>

#include <memory>

namespace brinmoor::app {

namespace {
// The last run's lines by extension for the workbook's second sheet; none
// before any run counted a file.
std::shared_ptr<const exports::SummarySheet> summarySheet(const MainWindow &window)
{
    const summary::Summary &current = window.summaryCommands().runSummary().current();
    if (current.isEmpty())
        return nullptr;
    return std::make_shared<const exports::SummarySheet>(
        exports::SummarySheet{summary::extensionRows(current), current.files(), current.lines()});
}
} // namespace

namespace {

QString text(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

} // namespace

ResultsCommands::ResultsCommands(MainWindow &window, ResultsServices services)
    : QObject(&window)
    , m_window(window)
    , m_services(std::move(services))
{
    if (!m_services.fileDialogs) {
        m_ownDialogs = std::make_unique<filelist::WidgetFileListDialogs>(&window);
        m_services.fileDialogs = m_ownDialogs.get();
    }
    if (!m_services.clipboard) {
        m_ownClipboard = std::make_unique<SystemClipboard>();
        m_services.clipboard = m_ownClipboard.get();
    }
    if (!m_services.findSpreadsheet)
        m_services.findSpreadsheet = [] { return defaultApplication(text(exports::WorkbookMimeType)); };
    if (!m_services.openWorkbook) {
        m_services.openWorkbook = [](const DesktopApplication &application, const QString &path) {
            // The workbook is left unsaved for the user: where the spreadsheet
            // program can, it opens as a new untitled document, so that saving
            // it does not offer the cache folder it was written to.
            if (const auto command = exports::untitledOpenCommand(application.id, application.commandLine))
                return launchCommand(*command, path);
            return launchApplication(application.id, path);
        };
    }
    // A save into a pipe whose reader leaves must fail that save, not end
    // the program with every list in it.
    exports::ignoreBrokenPipes();
    // Two exports may overlap (nothing stops a second press); more would
    // only queue behind them.
    m_pool.setMaxThreadCount(2);

    const auto connectButton = [this](const char *name, void (ResultsCommands::*command)()) {
        if (QPushButton *button = m_window.button(name))
            connect(button, &QPushButton::clicked, this, command);
    };
    connectButton("PushButton9", &ResultsCommands::saveResultsAsTextFile);
    connectButton("PushButton10", &ResultsCommands::saveResultsAsExcelFile);
    connectButton("PushButton18", &ResultsCommands::copyResultsToClipboard);
    connectButton("PushButton14", &ResultsCommands::clearResults);
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
    const TextListModel &model = m_window.results();
    return exports::ResultRowsSource(model.header(), model.texts(), model.checkedStates());
}

int ResultsCommands::holdBusy()
{
    const int job = m_nextJob++;
    m_leases.emplace(job, m_window.busy().acquire());
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
    Procedure p(m_window.errorReporter(), location::SaveTextFile);
    QString path;
    p.run(100, [&] {
        path = m_services.fileDialogs->chooseSaveFile(
            text(exports::texts::SaveDialogTitle),
            filelist::qtFileFilters(text(exports::texts::SaveDialogFilter)), m_window.fileDialogFilterIndex());
    });
    if (path.isEmpty())
        return;

    bool confirmed = true;
    p.run(102, [&] {
        if (!filelist::PathExists(path))
            return;
        const MessageAnswer answer = m_window.dialogs().message(
            m_window.applicationTitle(), exports::overwriteQuestion(path), MessageButtons::YesNo, MessageIcon::None);
        confirmed = answer == MessageAnswer::Yes;
    });
    if (!confirmed)
        return;

    int job = -1;
    std::shared_ptr<const exports::ResultRowsSource> rows;
    const bool started = p.run(104, [&] {
        job = holdBusy();
        rows = std::make_shared<const exports::ResultRowsSource>(snapshot());
    });
    if (!started) {
        releaseBusy(job);
        return;
    }

    p.run(106, [&] {
        CaptionProgressBar *bar = &m_window.progressBar();
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
}

void ResultsCommands::finishTextFile(int job, const std::optional<Failure> &failure)
{
    Procedure p(m_window.errorReporter(), location::SaveTextFile);
    p.run(108, [&] { releaseBusy(job); });
    const auto stop = m_saveStops.extract(job);
    if (!stop.empty() && stop.mapped()->stopped()) {
        // The user stopped it: nothing to report, and no "Done.".
    } else if (failure) {
        // The writer's own report: its location and the step it failed at.
        m_window.errorReporter().report(*failure);
    } else {
        // Only a file written whole earns "Done.".
        p.run(110, [&] { m_window.tell(text(exports::texts::Done)); });
    }
    emit exportFinished();
}

// ------------------------------------------------ Save Results As Excel File

void ResultsCommands::saveResultsAsExcelFile()
{
    Procedure p(m_window.errorReporter(), location::SaveExcelFile);
    // Asking the desktop reads its application folders, which may be slow:
    // the answer comes back as a queued call.
    int job = -1;
    const bool asked = p.run(100, [&] {
        job = holdBusy();
        m_pool.start([this, job] {
            const std::optional<DesktopApplication> application = m_services.findSpreadsheet();
            QMetaObject::invokeMethod(this, [this, job, application] { writeWorkbook(job, application); },
                                      Qt::QueuedConnection);
        });
    });
    if (!asked)
        releaseBusy(job);
}

void ResultsCommands::writeWorkbook(int job, const std::optional<DesktopApplication> &application)
{
    Procedure p(m_window.errorReporter(), location::SaveExcelFile);
    bool empty = true;
    if (!application) {
        releaseBusy(job);
        // The presence test's own box, then the command's.
        p.run(102, [&] { m_window.tell(text(exports::texts::SpreadsheetMissingForProgram)); });
        p.run(104, [&] { m_window.tell(text(exports::texts::SpreadsheetMissingForFeature)); });
    } else {
        p.run(108, [&] { empty = m_window.results().count() == 0; });
    }

    const bool started = !empty && p.run(110, [&] {
        auto rows = std::make_shared<const exports::ResultRowsSource>(snapshot());
        auto summary = summarySheet(m_window);
        m_pool.start([this, job, rows, summary, application = *application] {
            exports::WorkbookFile workbook =
                exports::createResultsWorkbook(*rows, exports::workbookFolder(), {}, summary.get());
            // Starting the program may wait on the session bus.
            const bool opened = workbook.path.isEmpty() || m_services.openWorkbook(application, workbook.path);
            QMetaObject::invokeMethod(this, [this, job, workbook, opened] {
                finishWorkbook(job, workbook.path, workbookReports(workbook.failures), opened);
            }, Qt::QueuedConnection);
        });
    });
    if (!started) {
        releaseBusy(job);
        emit exportFinished();
    }
}

void ResultsCommands::finishWorkbook(int job, const QString &path, const QList<Failure> &failures, bool opened)
{
    Procedure p(m_window.errorReporter(), location::SaveExcelFile);
    for (const Failure &failure : failures)
        m_window.errorReporter().report(failure);
    if (!opened) {
        p.run(112, [&] {
            failStep(QStringLiteral("The desktop could not open %1.").arg(QDir::toNativeSeparators(path)));
        });
    }
    p.run(114, [&] { releaseBusy(job); });
    emit exportFinished();
}

// ------------------------------------------------- Copy Results To Clipboard

void ResultsCommands::copyResultsToClipboard()
{
    Procedure p(m_window.errorReporter(), location::CopyToClipboard);
    p.run(100, [&] { m_window.progressBar().setCaption(text(exports::texts::CopyingCaption)); });
    int job = -1;
    p.run(102, [&] { job = holdBusy(); });

    bool empty = true;
    p.run(104, [&] { empty = m_window.results().count() == 0; });
    if (empty) {
        // Nothing to copy: the clipboard keeps what it holds.
        p.run(106, [&] { m_window.tell(text(exports::texts::NothingToCopy)); });
        p.run(108, [&] { releaseBusy(job); });
        p.run(110, [&] { m_window.progressBar().setCaption(text(exports::texts::IdleCaption)); });
        emit exportFinished();
        return;
    }

    const bool started = p.run(104, [&] {
        auto rows = std::make_shared<const exports::ResultRowsSource>(snapshot());
        m_pool.start([this, job, rows] {
            const QString clipText = exports::CopyListviewProperlySpaced(*rows);
            QMetaObject::invokeMethod(this, [this, job, clipText] { finishCopy(job, clipText); },
                                      Qt::QueuedConnection);
        });
    });
    if (!started) {
        p.run(108, [&] { releaseBusy(job); });
        p.run(110, [&] { m_window.progressBar().setCaption(text(exports::texts::IdleCaption)); });
    }
}

void ResultsCommands::finishCopy(int job, const QString &clipText)
{
    Procedure p(m_window.errorReporter(), location::CopyToClipboard);
    const bool placed = p.run(104, [&] {
        if (!m_services.clipboard->placeText(clipText))
            failStep(QStringLiteral("The clipboard did not take the text: another program may be holding it."));
    });
    // The box comes while the busy pointer still shows, and only when the
    // text is really there.
    if (placed)
        p.run(106, [&] { m_window.tell(text(exports::texts::CopiedToClipboard)); });
    p.run(108, [&] { releaseBusy(job); });
    p.run(110, [&] { m_window.progressBar().setCaption(text(exports::texts::IdleCaption)); });
    emit exportFinished();
}

// ---------------------------------------------------------------- Clear List

void ResultsCommands::clearResults()
{
    Procedure p(m_window.errorReporter(), location::ClearResults);
    p.run(100, [&] { m_window.clearResultRows(); });
}

} // namespace brinmoor::app
