#pragma once

#include "CommandContext.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

namespace brinmoor {
class SettingsStore;
namespace filelist {
class FileListDialogs;
class FileListView;
class FolderScanJob;
} // namespace filelist
class TextListModel;
} // namespace brinmoor

namespace brinmoor::app {

class BusyState;
class ErrorReporter;

// The commands of the file list on the window: "Add File(s)", "Add All
// File(s) In Folder", "Clear List" and "Load Sample/Example Files", plus the
// walks of folders dropped on the list. It owns the running folder scans,
// so that they can be stopped before the busy state they hold goes away.
// GUI thread only.
class FileListCommands : public QObject
{
    Q_OBJECT
public:
    // What the commands work on; all of it outlives them.
    struct Context
    {
        TextListModel &files;
        filelist::FileListView &view;
        BusyState &busy;
        ErrorReporter &reporter;
        Boxes boxes;
        filelist::FileListDialogs &fileDialogs;
        FileDialogChoice &addDialogChoice;
        SettingsStore &settings;
        // The folder of the sample files, ending in a separator.
        QString samplesFolder;
        // Shows a folder in the desktop's file manager.
        std::function<void(const QUrl &)> openUrl;
        // Brings the window forward when a drop's walk starts, so that Esc
        // reaches it at once.
        std::function<void()> bringForward;
    };

    explicit FileListCommands(Context context, QObject *parent = nullptr);
    ~FileListCommands() override;

    void addFiles();
    // Returns the started scan, or null when a box was cancelled.
    filelist::FolderScanJob *addAllFilesInFolder();
    void clearList();
    void loadSampleFiles();

    // Folder scans and walks of dropped folders still running.
    int runningScans() const;
    // Stops every scan and every walk of a dropped folder soon, each ending
    // as it does when done; rows already appended stay.
    void cancelScans();
    // Cancels and deletes every scan and every walk of a dropped folder at
    // once; rows already appended stay. For closing the window.
    void stopScans();

private:
    void dropWalkStarting(filelist::FolderScanJob *job);

    Context m_c;
};

} // namespace brinmoor::app
