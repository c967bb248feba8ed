#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// Writes a small file, making its folders first. A test cannot go on
// without the files it set up, so a failure ends it.
inline void touch(const QString &path, const QByteArray &content = "x\n")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

#include <cerrno>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

// Asks the system to drop the file's data from the page cache, so that the
// next read comes from the disk. True when none of it stays cached (some
// file systems, tmpfs among them, keep it whatever one asks).
inline bool evictFromCache(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    char byte;
    iovec vector{&byte, 1};
    const bool evicted = ::preadv2(fd, &vector, 1, 0, RWF_NOWAIT) < 0 && errno == EAGAIN;
    ::close(fd);
    return evicted;
}
