#pragma once

#include <QUrl>

namespace brinmoor {

// Hands an address to the desktop (browser, file manager); the answer is
// whether the desktop took it.
bool openWithDesktop(const QUrl &url);

// Asks the desktop's file manager to open the folder of path with the file
// selected (org.freedesktop.FileManager1.ShowItems over the session bus);
// false when no file manager offers that, so the caller can open the folder
// itself.
bool showInFileManager(const QString &path);

} // namespace brinmoor
