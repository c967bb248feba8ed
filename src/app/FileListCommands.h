#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace brinmoor::filelist {
class FileListDialogs;
class FileListView;
class FolderScanJob;
class WidgetFileListDialogs;
} // namespace brinmoor::filelist

namespace brinmoor::app {

class MainWindow;

// The commands of the file list on the window: "Add File(s)", "Add All
// File(s) In Folder", "Clear List" and "Load Sample/Example Files", plus the
// list's own drops, removal and row dragging. It owns the running folder
// scans, so that they can be stopped before the busy state they hold goes
// away. GUI thread only.
class FileListCommands : public QObject
{
    Q_OBJECT
public:
    // fileDialogs may be null: Qt's own dialogs, modal to the window, are
    // used then. openUrl shows a folder in the desktop's file manager.
    FileListCommands(MainWindow &window, filelist::FileListView &view, filelist::FileListDialogs *fileDialogs,
                     std::function<void(const QUrl &)> openUrl);
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
    MainWindow &m_window;
    filelist::FileListView &m_view;
    std::unique_ptr<filelist::WidgetFileListDialogs> m_ownDialogs;
    filelist::FileListDialogs *m_fileDialogs = nullptr;
    std::function<void(const QUrl &)> m_openUrl;
};

} // namespace brinmoor::app
