#include "FileListCommands.h"

#include "BusyState.h"
#include "ErrorReporter.h"
#include "FailureReports.h"
#include "Procedure.h"

#include "AddFiles.h"
#include "AddFolder.h"
#include "FileListEditing.h"
#include "FileListView.h"
#include "FolderScanJob.h"
#include "FolderWalk.h"
#include "SampleFiles.h"
#include "TextListModel.h"

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

FileListCommands::FileListCommands(Context context, QObject *parent)
    : QObject(parent)
    , m_c(std::move(context))
{
    connect(&m_c.view, &filelist::FileListView::dropWalkStarting, this, &FileListCommands::dropWalkStarting);
    connect(&m_c.view, &filelist::FileListView::unshowableNamesDropped, this,
            [this](const filelist::UnshowableNames &names) { m_c.boxes.warn(filelist::unshowableNamesText(names)); });
}

FileListCommands::~FileListCommands()
{
    stopScans();
}

void FileListCommands::dropWalkStarting(filelist::FolderScanJob *job)
{
    // Each drop's walk behaves as a folder scan does: the busy pointer and
    // the stop control while it runs, its failures gathered.
    std::shared_ptr<ErrorReporter::Gathering> failures = m_c.reporter.gather(
        [](int more) { return QStringLiteral("%1 more failures while adding the dropped files.").arg(more); },
        location::GetSubDirectories2016, StepLookUpFolder);
    reportFolderFailures(job, failures);
    // Released when the walk ends, or with the connection when the walk
    // is deleted unfinished (the window closing).
    auto busy = std::make_shared<BusyState::Lease>(m_c.busy.acquire());
    connect(job, &filelist::FolderScanJob::finished, this, [job, failures, busy] {
        busy->reset();
        failures->passedOver(job->unreadableFolders().count, job->unreadableFolders().first);
        failures->finish();
    });
    if (m_c.bringForward)
        m_c.bringForward();
}

void FileListCommands::addFiles()
{
    Procedure p(m_c.reporter, location::AddFiles);
    p.run(108, [&] {
        filelist::AddFiles(m_c.fileDialogs, m_c.boxes.dialogs, m_c.files, m_c.boxes.title,
                           m_c.addDialogChoice.filterIndex);
    });
}

filelist::FolderScanJob *FileListCommands::addAllFilesInFolder()
{
    Procedure p(m_c.reporter, location::AddFolder);
    filelist::FolderScanJob *job = nullptr;
    BusyState *busy = &m_c.busy;
    // An unreadable tree can fail thousands of times: one box, then one
    // with the rest when the scan ends.
    std::shared_ptr<ErrorReporter::Gathering> failures = m_c.reporter.gather(
        [](int more) { return QStringLiteral("%1 more failures while adding the folder's files.").arg(more); },
        location::AddFolder, 116);
    p.run(100, [&] {
        job = filelist::AddAllFilesInFolder({
            m_c.boxes.dialogs,
            m_c.fileDialogs,
            m_c.settings,
            m_c.files,
            m_c.boxes.title,
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
    Procedure p(m_c.reporter, location::ClearFileList);
    BusyState *busy = &m_c.busy;
    p.run(100, [&] { filelist::ClearFileList(m_c.files, [busy] { return busy->isBusy(); }); });
}

void FileListCommands::loadSampleFiles()
{
    Procedure p(m_c.reporter, location::LoadSampleFiles);
    p.run(100, [&] {
        filelist::LoadSampleFiles(m_c.files, {
                                                 m_c.settings,
                                                 m_c.boxes.dialogs,
                                                 m_c.boxes.title,
                                                 m_c.samplesFolder,
                                                 [this](const QString &folder) {
                                                     if (m_c.openUrl)
                                                         m_c.openUrl(QUrl::fromLocalFile(folder));
                                                 },
                                             });
    });
}

int FileListCommands::runningScans() const
{
    int running = m_c.view.runningDrops();
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
    m_c.view.cancelDrops();
}

void FileListCommands::stopScans()
{
    // Deleting a scan cancels its walk and waits for the thread; the busy
    // lease of a folder scan is released with it, while the busy state is
    // still there.
    qDeleteAll(findChildren<filelist::FolderScanJob *>(Qt::FindDirectChildrenOnly));
    m_c.view.stopDrops();
}

} // namespace brinmoor::app
