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

    // A save dialog for one file, with filters and filterIndex as above. It
    // asks nothing about an existing file: the caller puts its own question.
    // The chosen path as typed (no extension added), or "" on cancel. A
    // dialog set without a save form answers as if cancelled.
    virtual QString chooseSaveFile(const QString &title, const QStringList &filters, int &filterIndex)
    {
        Q_UNUSED(title);
        Q_UNUSED(filters);
        Q_UNUSED(filterIndex);
        return {};
    }
};

} // namespace brinmoor::filelist
