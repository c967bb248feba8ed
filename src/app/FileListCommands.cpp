#include "FileListCommands.h"

#include "BusyState.h"
#include "ErrorReporter.h"
#include "FailureReports.h"
#include "MainWindow.h"
#include "Procedure.h"

#include "AddFiles.h"
#include "AddFolder.h"
#include "FileListEditing.h"
#include "FileListView.h"
#include "FolderScanJob.h"
#include "FolderWalk.h"
#include "SampleFiles.h"
#include "TextListModel.h"
#include "UserDialogs.h"
#include "WidgetFileListDialogs.h"

#include <QDir>
#include <QPushButton>

namespace brinmoor::app {

namespace {

// The folders a scan could not list, each in the window's report form.
void reportFolderFailures(filelist::FolderScanJob *job, std::shared_ptr<ErrorReporter::Gathering> failures)
{
    QObject::connect(job, &filelist::FolderScanJob::folderFailed, job,
                     [failures = std::move(failures)](const QString &folder, const QString &reason) {
                         failures->report(folderFailureReport(folder, reason));
                     });
}

} // namespace

FileListCommands::FileListCommands(MainWindow &window, filelist::FileListView &view,
                                   filelist::FileListDialogs *fileDialogs,
                                   std::function<void(const QUrl &)> openUrl)
    : QObject(&window)
    , m_window(window)
    , m_view(view)
    , m_fileDialogs(fileDialogs)
    , m_openUrl(std::move(openUrl))
{
    if (!m_fileDialogs) {
        m_ownDialogs = std::make_unique<filelist::WidgetFileListDialogs>(&window);
        m_fileDialogs = m_ownDialogs.get();
    }

    BusyState *busy = &window.busy();
    m_view.setBusyCheck([busy] { return busy->isBusy(); });
    m_view.setDragCursor(filelist::FileListView::dragCursorFrom(m_window.besideProgram("drag.ico")));
    // Over the list the pointer is the default one, whatever a button showed
    // before; the busy pointer overrides it while it shows.
    m_view.viewport()->setCursor(Qt::ArrowCursor);
    // Each drop's walk behaves as a folder scan does: the busy pointer and
    // the stop control while it runs, its failures gathered. The drop
    // brings the window forward, so that Esc reaches it at once.
    connect(&m_view, &filelist::FileListView::dropWalkStarting, this, [this](filelist::FolderScanJob *job) {
        std::shared_ptr<ErrorReporter::Gathering> failures = m_window.errorReporter().gather(
            [](int more) { return QStringLiteral("%1 more failures while adding the dropped files.").arg(more); },
            location::GetSubDirectories2016, StepLookUpFolder);
        reportFolderFailures(job, failures);
        // Released when the walk ends, or with the connection when the walk
        // is deleted unfinished (the window closing).
        auto busy = std::make_shared<BusyState::Lease>(m_window.busy().acquire());
        connect(job, &filelist::FolderScanJob::finished, this, [job, failures, busy] {
            busy->reset();
            failures->passedOver(job->unreadableFolders().count, job->unreadableFolders().first);
            failures->finish();
        });
        m_window.raise();
        m_window.activateWindow();
    });
    connect(&m_view, &filelist::FileListView::unshowableNamesDropped, this,
            [this](const filelist::UnshowableNames &names) {
                m_window.dialogs().message(m_window.applicationTitle(), filelist::unshowableNamesText(names),
                                           MessageButtons::Ok, MessageIcon::Warning);
            });

    const auto wire = [&](const char *name, void (FileListCommands::*command)()) {
        if (QPushButton *b = window.button(name))
            connect(b, &QPushButton::clicked, this, command);
    };
    wire("PushButton1", &FileListCommands::addFiles);
    wire("PushButton3", &FileListCommands::clearList);
    wire("PushButton11", &FileListCommands::loadSampleFiles);
    if (QPushButton *b = window.button("PushButton5"))
        connect(b, &QPushButton::clicked, this, [this] { addAllFilesInFolder(); });
}

FileListCommands::~FileListCommands()
{
    stopScans();
}

void FileListCommands::addFiles()
{
    Procedure p(m_window.errorReporter(), location::AddFiles);
    p.run(108, [&] {
        filelist::AddFiles(*m_fileDialogs, m_window.dialogs(), m_window.fileList(), m_window.applicationTitle(),
                           m_window.fileDialogFilterIndex());
    });
}

filelist::FolderScanJob *FileListCommands::addAllFilesInFolder()
{
    Procedure p(m_window.errorReporter(), location::AddFolder);
    filelist::FolderScanJob *job = nullptr;
    BusyState *busy = &m_window.busy();
    // An unreadable tree can fail thousands of times: one box, then one
    // with the rest when the scan ends.
    std::shared_ptr<ErrorReporter::Gathering> failures = m_window.errorReporter().gather(
        [](int more) { return QStringLiteral("%1 more failures while adding the folder's files.").arg(more); },
        location::AddFolder, 116);
    p.run(100, [&] {
        job = filelist::AddAllFilesInFolder({
            m_window.dialogs(),
            *m_fileDialogs,
            m_window.settings(),
            m_window.fileList(),
            m_window.applicationTitle(),
            [busy] { return std::make_shared<BusyState::Lease>(busy->acquire()); },
            failures.get(),
            this,
        });
    });
    if (job) {
        reportFolderFailures(job, failures);
        connect(job, &filelist::FolderScanJob::finished, this, [job, failures] {
            failures->passedOver(job->unreadableFolders().count, job->unreadableFolders().first);
            failures->finish();
        });
    } else {
        failures->finish();
    }
    return job;
}

void FileListCommands::clearList()
{
    Procedure p(m_window.errorReporter(), location::ClearFileList);
    BusyState *busy = &m_window.busy();
    p.run(100, [&] { filelist::ClearFileList(m_window.fileList(), [busy] { return busy->isBusy(); }); });
}

void FileListCommands::loadSampleFiles()
{
    Procedure p(m_window.errorReporter(), location::LoadSampleFiles);
    p.run(100, [&] {
        filelist::LoadSampleFiles(m_window.fileList(),
                                  {
                                      m_window.settings(),
                                      m_window.dialogs(),
                                      m_window.applicationTitle(),
                                      m_window.besideProgram("Samples") + QDir::separator(),
                                      [this](const QString &folder) {
                                          if (m_openUrl)
                                              m_openUrl(QUrl::fromLocalFile(folder));
                                      },
                                  });
    });
}

int FileListCommands::runningScans() const
{
    int running = m_view.runningDrops();
    for (const auto *job : findChildren<filelist::FolderScanJob *>(Qt::FindDirectChildrenOnly))
        running += job->isRunning() ? 1 : 0;
    return running;
}

void FileListCommands::cancelScans()
{
    for (auto *job : findChildren<filelist::FolderScanJob *>(Qt::FindDirectChildrenOnly))
        job->cancel();
    // Never waits for a walk: one held up by a slow folder would freeze the
    // window.
    m_view.cancelDrops();
}

void FileListCommands::stopScans()
{
    // Deleting a scan cancels its walk and waits for the thread; the busy
    // lease of a folder scan is released with it, while the busy state is
    // still there.
    qDeleteAll(findChildren<filelist::FolderScanJob *>(Qt::FindDirectChildrenOnly));
    m_view.stopDrops();
}

} // namespace brinmoor::app
