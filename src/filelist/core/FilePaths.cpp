#include "FilePaths.h"

#include "Paths.h"

#include <QDir>

#include <sys/stat.h>

namespace brinmoor::filelist {

namespace {

QString collapsePairs(QStringView text, QChar separator)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        result.append(text[i]);
        // The second of a pair is dropped; the pass then goes on after it,
        // so pairs never overlap.
        if (text[i] == separator && i + 1 < text.size() && text[i + 1] == separator)
            ++i;
    }
    return result;
}

} // namespace

QString NormalizeSeparators(const QString &path, QChar separator, bool networkPaths)
{
    if (!networkPaths || !path.startsWith(separator)) {
        // Most paths are clean already; they are handed back without a copy.
        const QChar pair[2] = {separator, separator};
        if (!path.contains(QStringView(pair, 2)))
            return path;
        return collapsePairs(path, separator);
    }
    qsizetype rest = 1;
    while (rest < path.size() && path[rest] == separator)
        ++rest;
    return QString(2, separator) + collapsePairs(QStringView(path).mid(rest), separator);
}

QString NormalizeBackslashes(const QString &path)
{
#ifdef Q_OS_WIN
    constexpr bool networkPaths = true;
#else
    constexpr bool networkPaths = false;
#endif
    return NormalizeSeparators(path, QDir::separator(), networkPaths);
}

namespace {

// Asked by the name's own bytes (a QFileInfo would re-encode a name that is
// not UTF-8 and ask about another). A NUL would cut the name short, and no
// file system accepts one.
bool exists(const QString &path)
{
    struct stat status;
    return !path.isEmpty() && !path.contains(QChar(0)) && ::stat(nativePath(path).constData(), &status) == 0;
}

} // namespace

bool IsUnreadablePath(const QString &path)
{
    return !exists(path);
}

bool PathExists(const QString &path)
{
    return exists(path);
}

} // namespace brinmoor::filelist
