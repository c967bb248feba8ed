#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace brinmoor::exports {

// The media type of .xlsx workbooks.
inline constexpr char WorkbookMimeType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// How the presence test learns about the desktop. Tests replace either part.
struct SpreadsheetProbe
{
    // The desktop file id of the default application for a media type
    // ("calc.desktop"), or an empty text when there is none.
    std::function<QString(const QString &mimeType)> defaultApplication;
    // Whether a desktop file of that id exists in the application folders.
    std::function<bool(const QString &desktopFileId)> applicationInstalled;
    // The command line (Exec) of that desktop file; empty when there is none.
    std::function<QString(const QString &desktopFileId)> commandLine = {};
};

// Asks xdg-mime and looks the answer up in the XDG application folders of
// this process's environment. xdg-mime missing or failing means "none".
SpreadsheetProbe systemSpreadsheetProbe();

// The desktop-file half of the system probe: whether the id names a file in
// the XDG application folders ("a-b.desktop" may also stand for
// "a/b.desktop", as the desktop-entry rules allow).
bool desktopFileInstalled(const QString &desktopFileId);

// The command that opens file as a new, untitled document in the desktop's
// default application for workbooks, where that application can: the office
// suite's spreadsheet takes a file after -n as a template. Nothing when
// another application (or none) is the default; the file is then opened as
// it is.
std::optional<QStringList> untitledOpenCommand(const QString &file, const SpreadsheetProbe &probe);

// True when the desktop has an application that opens workbooks. Shows
// nothing: the window shows both messages when the answer is false. Runs a
// short child process, so it may block for a moment.
bool SaveResultsAsExcelFileIsExcelInstalled(const SpreadsheetProbe &probe = systemSpreadsheetProbe());

} // namespace brinmoor::exports
