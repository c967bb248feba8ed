#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace brinmoor {

// An installed application as its desktop file describes it.
struct DesktopApplication
{
    QString id;           // the desktop file id, "sheets.desktop"
    QString commandLine;  // its Exec line, field codes (%U, %f) and all
};

// The desktop's default application for files of mimeType; none when no
// installed application opens the type itself (one for a type it derives
// from, as an archive manager for zip files, does not count). Reads the
// application folders, so never on the GUI thread; any other thread.
std::optional<DesktopApplication> defaultApplication(const QString &mimeType);

// Start the application of that desktop file id, or the program and
// arguments of command, with file. Any thread; false when nothing started.
bool launchApplication(const QString &desktopFileId, const QString &file);
bool launchCommand(const QStringList &command, const QString &file);

} // namespace brinmoor
