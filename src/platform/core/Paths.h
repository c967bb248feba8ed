#pragma once

#include <QString>

namespace brinmoor {

// The platform's path separator as a character ('/' here, '\\' on Windows).
QChar pathSeparator();

// The text after the last path separator: the whole path when it has none,
// an empty text when the path ends with one.
QString GetFileNameFromPath(const QString &path);

} // namespace brinmoor
