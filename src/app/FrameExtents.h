#pragma once

#include <QMargins>

#include <optional>

class QWindow;

namespace brinmoor::app {

// The frame the window manager put around the window, in the display's own
// pixels, as the window manager publishes it; nothing where it publishes
// none (yet) or the display is not X11.
std::optional<QMargins> publishedFrameExtents(const QWindow &window);

// Whether an X11 window manager announces itself (and so will frame the
// window).
bool windowManagerRunning();

} // namespace brinmoor::app
