#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace brinmoor {
class TextListModel;
class UserDialogs;
}

namespace brinmoor::filelist {

class FileListDialogs;

inline constexpr char AddFilesTitle[] = "Add File(s) - Hold Ctrl to select multiple files";
// The dialog's filter as pairs of description and pattern.
inline constexpr char AddFilesFilter[] =
    "All Files (*.*)|*.*|Text Files (*.txt)|*.txt|HTML Files (*.htm;*.html)|*.htm;*.html";
inline constexpr char TooManyFilesText[] =
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.";
inline constexpr char BadCharactersText[] =
    "was not added because it has bad characters in the filename.";

// Turns "description|pattern|description|pattern" (a trailing "|" allowed)
// into Qt's filter entries: "description (pattern pattern)". "*.*" becomes
// "*", because Qt matches it literally and would hide names without a dot.
QStringList qtFileFilters(const QString &pairs);

// One thing "Add File(s)" does, in the order it must happen: append a row,
// or show a message (after the rows before it are in the list).
struct AddFilesStep
{
    enum class Kind { AppendRow, ShowMessage };
    Kind kind;
    QString text;

    bool operator==(const AddFilesStep &) const = default;
};

// What to do with a selection: one path is taken as delivered; of several,
// each is split into folder and name, joined again with the separator,
// cleaned with NormalizeBackslashes and tested with IsUnreadablePath, a
// rejected name giving its message instead of a row.
QList<AddFilesStep> planAddedFiles(const QStringList &selection, bool overflow = false);

// The "Add File(s)" command: shows the dialog, appends the chosen files to
// list and shows the messages under title. filterIndex is the filter the
// user chose last; the caller keeps it, shared with the text export's save
// dialog. Returns the number of rows appended.
int AddFiles(FileListDialogs &fileDialogs, UserDialogs &dialogs, TextListModel &list,
             const QString &title, int &filterIndex);

} // namespace brinmoor::filelist
