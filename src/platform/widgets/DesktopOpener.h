#pragma once

#include <QUrl>

namespace brinmoor {

// Hands an address to the desktop (browser, file manager); the answer is
// whether the desktop took it.
bool openWithDesktop(const QUrl &url);

} // namespace brinmoor
