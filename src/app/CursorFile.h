#pragma once

#include <QCursor>
#include <QString>

#include <optional>

namespace brinmoor::app {

// Reads a Windows cursor file (.cur) with its hot spot; nullopt when the
// file cannot be read as one.
std::optional<QCursor> loadCursorFile(const QString &path);

} // namespace brinmoor::app
