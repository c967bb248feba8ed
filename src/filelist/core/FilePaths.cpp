#include "FilePaths.h"

#include <QDir>
#include <QFileInfo>

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

bool IsUnreadablePath(const QString &path)
{
    // QFileInfo answers false for empty paths and for names holding a NUL,
    // which no file system accepts.
    return path.isEmpty() || !QFileInfo(path).exists();
}

bool PathExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

} // namespace brinmoor::filelist
