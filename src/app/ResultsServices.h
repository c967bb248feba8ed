#pragma once

#include "DesktopApplications.h"

#include <QString>

#include <functional>
#include <optional>

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
    // The desktop's application for workbooks, or none; unset asks the
    // desktop. Called on a worker thread, never the GUI thread.
    std::function<std::optional<DesktopApplication>()> findSpreadsheet = {};
    // Starts it with a workbook file; false when it could not be started.
    // Called on a worker thread; unset starts it through the desktop.
    std::function<bool(const DesktopApplication &application, const QString &path)> openWorkbook = {};
};

} // namespace brinmoor::app
