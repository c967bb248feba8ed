#include "SampleFiles.h"

#include "FilePaths.h"
#include "FolderScanJob.h"
#include "Paths.h"
#include "SampleSet.h"
#include "SettingsStore.h"
#include "TextListModel.h"
#include "UserDialogs.h"

namespace brinmoor::filelist {

bool ListviewHasItem(const TextListModel &list, const QString &text)
{
    return list.contains(text);
}

int LoadSampleFiles(TextListModel &list, const SampleLoadContext &context)
{
    // A missing record reads as the word False, which unscrambles to no
    // existing path.
    const QString record = unscrambleRecord(
        context.settings.read(QLatin1String(settings::Snapshot), QStringLiteral("False")));
    int appended = 0;
    UnshowableNames unshowable;
    if (!record.isEmpty()) {
        for (const QString &path : record.split(QLatin1Char('|'))) {
            if (PathExists(path) && !ListviewHasItem(list, path)) {
                list.add(path);
                ++appended;
                if (hasEscapedBytes(path))
                    unshowable.add(path, false);
            }
        }
    }
    if (!unshowable.isEmpty())
        context.dialogs.message(context.title, unshowableNamesText(unshowable), MessageButtons::Ok,
                                MessageIcon::Warning);
    const MessageAnswer answer =
        context.dialogs.message(context.title, QString::fromLatin1(OpenSampleFolderQuestion),
                                MessageButtons::YesNo, MessageIcon::None);
    if (answer == MessageAnswer::Yes && context.openFolder)
        context.openFolder(context.sampleFolder);
    return appended;
}

} // namespace brinmoor::filelist
