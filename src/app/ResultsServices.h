#pragma once

#include "SpreadsheetPresence.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace brinmoor {
class Clipboard;
namespace filelist {
class FileListDialogs;
}
} // namespace brinmoor

namespace brinmoor::app {

// What the results commands need from the desktop; tests replace every part.
struct ResultsServices
{
    // The save dialog of "Save Results As Text File".
    filelist::FileListDialogs *fileDialogs = nullptr;
    Clipboard *clipboard = nullptr;
    // Opens a workbook file as it is with the desktop's application for
    // workbooks; false when the desktop would not.
    std::function<bool(const QString &path)> openWorkbook = {};
    // Starts a program (the first item) with its arguments and leaves it
    // running; false when it could not be started.
    std::function<bool(const QStringList &command)> startProgram = {};
    // What the desktop's application for workbooks is. Unset asks the
    // desktop, unless one of the two above is set (then it is never asked).
    exports::SpreadsheetProbe spreadsheetProbe = {};
    // Whether the desktop has such an application; unset asks the desktop.
    std::function<bool()> spreadsheetInstalled = {};
};

} // namespace brinmoor::app
