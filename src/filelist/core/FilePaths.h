#pragma once

#include <QChar>
#include <QString>

namespace brinmoor::filelist {

// Cleans a path that was put together from a folder and a name: every pair
// of separators becomes one, in one left-to-right pass, so a run of two
// becomes one and a run of three or four becomes two. With networkPaths, a
// path that begins with a separator is a network path: its leading run
// becomes exactly two separators and the rest is cleaned as above.
QString NormalizeSeparators(const QString &path, QChar separator, bool networkPaths);

// NormalizeSeparators with the platform's separator. Only Windows has
// network paths that begin with two separators; on POSIX a leading "//"
// names the same folder as "/" (Linux gives it no meaning of its own), so
// the leading run is cleaned like any other and "/dir/x" stays as it is
// instead of turning into "//dir/x".
QString NormalizeBackslashes(const QString &path);

// True when the file system cannot tell anything about the path: it does
// not exist, cannot be reached, or has a name the file system rejects.
bool IsUnreadablePath(const QString &path);

// True for an existing file or folder; false for an empty path and on any
// failure of the query.
bool PathExists(const QString &path);

} // namespace brinmoor::filelist
