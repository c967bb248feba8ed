#include "AddFolder.h"

#include "ErrorReport.h"
#include "FileListDialogs.h"
#include "FolderScanJob.h"
#include "SettingsStore.h"
#include "TextListModel.h"
#include "UserDialogs.h"

#include <QDir>
#include <QPointer>

namespace brinmoor::filelist {

namespace {

void store(const AddFolderContext &context, const char *key, const QString &value, int step)
{
    const QString problem = context.settings.write(QLatin1String(key), value);
    if (!problem.isEmpty() && context.failures)
        context.failures->report({problem, QString::fromLatin1(location::AddFolder), step});
}

} // namespace

FolderScanJob *AddAllFilesInFolder(const AddFolderContext &context)
{
    const QString savedExtension =
        context.settings.read(QLatin1String(settings::Extension), QStringLiteral("txt"));
    const QString answer = context.dialogs
                               .input(QString::fromLatin1(ExtensionPrompt), context.title,
                                      savedExtension)
                               .value_or(QString());
    if (answer.isEmpty())
        return nullptr;
    // Written both before and after the empty test, as the command always
    // has; the second write changes nothing but repeats a failed first one.
    store(context, settings::Extension, answer, 100);
    store(context, settings::Extension, answer, 104);

    const QString lastFolder = context.settings.read(QLatin1String(settings::LastFolder), QString());
    const QString chosen = QDir::toNativeSeparators(
        context.fileDialogs.chooseFolder(QString::fromLatin1(FolderPrompt), lastFolder));
    if (chosen.isEmpty())
        return nullptr;
    store(context, settings::LastFolder, chosen, 334);

    QObject *parent = context.jobParent ? context.jobParent : &context.list;
    auto *job = new FolderScanJob(chosen, QLatin1String("*.") + answer, parent);
    TextListModel *list = &context.list;
    QObject::connect(job, &FolderScanJob::rowsFound, list,
                     [list](const QStringList &rows) { list->append(rows); });
    BusyHold hold = context.holdBusy ? context.holdBusy() : BusyHold();
    // The box goes through the window's dialogs, which live as long as the
    // job's parent does.
    const QPointer<QObject> alive(parent);
    UserDialogs *dialogs = &context.dialogs;
    QObject::connect(job, &FolderScanJob::finished, job,
                     [job, hold, alive, dialogs, title = context.title](bool cancelled) mutable {
        // The job goes first: whatever the busy pointer's end sets off may
        // close the window, which deletes every scan there and then.
        job->deleteLater();
        const UnshowableNames unshowable = job->unshowableNames();
        hold.reset();
        if (!cancelled && !unshowable.isEmpty() && alive)
            dialogs->message(title, unshowableNamesText(unshowable), MessageButtons::Ok, MessageIcon::Warning);
    });
    job->start();
    return job;
}

} // namespace brinmoor::filelist
