#pragma once

#include "CountTypes.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>

#include <sys/types.h>

namespace brinmoor::counting {

// Reads a range of an open file with pread, so two threads can read two
// halves of one file through one descriptor. The descriptor is not owned.
class FileRangeSource final : public ByteSource
{
public:
    // end < 0: up to the end of the file. With waitedForDisk, the first
    // read first asks only for what is cached and sets the flag when
    // nothing was (then reads as usual): the caller learns that the files
    // come from the disk at no extra cost when they do not.
    FileRangeSource(int fd, std::int64_t begin, std::int64_t end, std::atomic<bool> *waitedForDisk = nullptr);
    std::int64_t read(char *buffer, std::int64_t max) override;
    QString errorString() const override { return m_error; }

private:
    int m_fd;
    std::int64_t m_position;
    std::int64_t m_end;
    std::atomic<bool> *m_waitedForDisk;
    QString m_error;
};

// A file opened for counting: never blocks on a FIFO or a device, and
// refuses anything that is not a regular file.
class OpenFile
{
public:
    explicit OpenFile(const QString &path);
    ~OpenFile();
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // From the same fstat that found the file regular: the end of the count.
    std::int64_t size() const { return m_size; }
    QString errorString() const { return m_error; }
    bool isFolder() const { return m_folder; }

private:
    int m_fd = -1;
    std::int64_t m_size = 0;
    bool m_folder = false;
    QString m_error;
};

// Opens a path as open(2) does, also one longer than the system's path
// limit: then a part at a time, each relative to the folder opened before,
// so files of any depth can be reached. -1 with errno set when it fails.
int openNative(const QByteArray &native, int flags, mode_t mode = 0);
// The same, but when the process is out of descriptors it waits a while
// for other threads to close some before it gives up (EMFILE, ENFILE).
int openNativeWaiting(const QByteArray &native, int flags);

QString describeErrno(int error);
// Why a FIFO, a device or a socket is not counted.
QString notARegularFile();

} // namespace brinmoor::counting
