#pragma once

namespace brinmoor::app {

// The desktop entry's name without ".desktop": Wayland compositors match it
// against the window's app id, and X11 docks the entry's StartupWMClass
// against the window's class, which Qt takes from the application name.
inline constexpr char DesktopFileName[] = "com.kelmarsh.Brinmoor";

// Names the running program as the settings, the desktop entry and the
// docks know it. Call once, right after the QApplication is made.
void setApplicationIdentity();

} // namespace brinmoor::app
