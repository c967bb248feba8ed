#pragma once

#include <QString>

namespace brinmoor {

// The platform's path separator as a character ('/' here, '\\' on Windows).
QChar pathSeparator();

// The text after the last path separator: the whole path when it has none,
// an empty text when the path ends with one.
QString GetFileNameFromPath(const QString &path);

} // namespace brinmoor

namespace brinmoor {

// The folder that holds the files shipped beside the program (the skin, the
// pointer images, the sample files): the executable's own folder in the build
// tree, the install's data folder once installed.
QString programFolder();

// A file shipped beside the program: folder (programFolder() unless a test
// put the files elsewhere) joined with a relative name such as "x/o.cjs".
QString besideProgram(const QString &relativeName, const QString &folder = programFolder());

} // namespace brinmoor
