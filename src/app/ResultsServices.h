#pragma once

#include <QString>

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
    // Opens a workbook file with the desktop's application for workbooks;
    // false when the desktop would not.
    std::function<bool(const QString &path)> openWorkbook = {};
    // Whether the desktop has such an application; unset asks the desktop.
    std::function<bool()> spreadsheetInstalled = {};
};

} // namespace brinmoor::app
