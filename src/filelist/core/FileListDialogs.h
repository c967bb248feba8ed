#pragma once

#include <QString>
#include <QStringList>

namespace brinmoor::filelist {

// What the multi-select open dialog handed back.
struct FileSelection
{
    // Full paths in the dialog's order; empty when the user cancelled.
    QStringList paths;
    // The platform dialog could not hold every selected name. Qt's own
    // dialog has no such limit and never sets it.
    bool overflow = false;
};

// The file list's own dialogs, beside the message and input boxes of
// UserDialogs: the window gets a QFileDialog implementation, tests a
// scripted one. GUI thread only.
class FileListDialogs
{
public:
    virtual ~FileListDialogs() = default;

    // A multi-select open dialog. filters are in Qt's form ("Text Files
    // (*.txt)"); filterIndex is the filter shown first and, when the user
    // confirms, the one the user left chosen.
    virtual FileSelection chooseFiles(const QString &title, const QStringList &filters,
                                      int &filterIndex) = 0;

    // A folder browser that preselects startFolder (when it exists) and
    // shows prompt. The chosen folder's path, or "" on cancel.
    virtual QString chooseFolder(const QString &prompt, const QString &startFolder) = 0;
};

} // namespace brinmoor::filelist
