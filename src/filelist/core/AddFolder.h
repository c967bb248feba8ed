#pragma once

#include <QString>

#include <functional>
#include <memory>

class QObject;

namespace brinmoor {
class FailureSink;
class SettingsStore;
class TextListModel;
class UserDialogs;
}

namespace brinmoor::filelist {

class FileListDialogs;
class FolderScanJob;

inline constexpr char ExtensionPrompt[] =
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)";
inline constexpr char FolderPrompt[] = "Please select folder:";

// Whatever keeps the busy pointer up while it is held (the window's busy
// lease); released when the scan ends.
using BusyHold = std::shared_ptr<void>;

struct AddFolderContext
{
    UserDialogs &dialogs;
    FileListDialogs &fileDialogs;
    SettingsStore &settings;
    TextListModel &list;
    // The application title, for the input box.
    QString title;
    // Called once the extension and the folder are known; empty shows no
    // busy pointer.
    std::function<BusyHold()> holdBusy;
    // Failures of the command's own steps (GUI thread); the walk's come
    // from the scan's folderFailed.
    FailureSink *failures = nullptr;
    // Owns the scan while it runs; the list when null. The scan deletes
    // itself when it has finished.
    QObject *jobParent = nullptr;
};

// "Add All File(s) In Folder": asks for the extension and the folder,
// remembers both, and starts a scan that appends every matching file of the
// folder and all folders below it to the list. Returns the running scan, or
// null when the user cancelled either box. The scan is valid until its
// finished signal has been delivered.
FolderScanJob *AddAllFilesInFolder(const AddFolderContext &context);

} // namespace brinmoor::filelist
