#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace brinmoor::exports {

// The media type of .xlsx workbooks.
inline constexpr char WorkbookMimeType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// The command (program and arguments; the file goes last) that opens a
// workbook as a new, untitled document in the desktop's default application
// for workbooks, given its desktop file id and command line, where that
// application can: the office suite's spreadsheet takes a file after -n as a
// template. Nothing for any other application; the file is then opened as it
// is.
std::optional<QStringList> untitledOpenCommand(const QString &desktopFileId, const QString &commandLine);

} // namespace brinmoor::exports
