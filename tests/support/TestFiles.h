#pragma once

#include "Paths.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

// Writes a small file, making its folders first. Names are made from their
// own bytes (nativePath), so that names which are not UTF-8 can be made too.
// A test cannot go on without the files it set up, so a failure ends it.
inline void touch(const QString &path, const QByteArray &content = "x\n")
{
    const QByteArray native = brinmoor::nativePath(path);
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(native.toStdString()).parent_path(), ignored);
    QFile file;
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)
        || file.write(content) != content.size())
        qFatal("cannot write %s", native.constData());
}

// Asks the system to drop the file's data from the page cache, so that the
// next read comes from the disk. True when none of it stays cached (some
// file systems, tmpfs among them, keep it whatever one asks).
inline bool evictFromCache(const QString &path)
{
    const int fd = ::open(brinmoor::nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    // mincore, unlike a read that does not wait, starts no read-ahead.
    bool evicted = false;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size > 0) {
        void *map = ::mmap(nullptr, std::size_t(size), PROT_READ, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) {
            std::vector<unsigned char> pages((std::size_t(size) + 4095) / 4096);
            evicted = ::mincore(map, std::size_t(size), pages.data()) == 0
                && std::none_of(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; });
            ::munmap(map, std::size_t(size));
        }
    }
    ::close(fd);
    return evicted;
}
