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

// The desktop's default application for files of mimeType, chosen as the
// desktop chooses it (mimeapps.list, then the desktop files naming the type);
// none when no installed application names the type itself. An application
// for a type it derives from (an archive manager for every zip file) does not
// count, and neither does a desktop file whose program is missing.
// Reads the application folders and may take a while: never call it on the
// GUI thread. Any thread.
std::optional<DesktopApplication> defaultApplication(const QString &mimeType);

// Starts the installed application of that desktop file id with file, as
// the desktop's own launcher would. Any thread; false when it could not be
// started.
bool launchApplication(const QString &desktopFileId, const QString &file);

// Starts the program and arguments of command, followed by file. Any
// thread; false when it could not be started.
bool launchCommand(const QStringList &command, const QString &file);

} // namespace brinmoor
