#include "FileSource.h"

#include "Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace brinmoor::counting {

QString describeErrno(int error)
{
    // std::generic_category gives strerror's text without its thread-safety
    // problem.
    return QString::fromStdString(std::generic_category().message(error));
}

QString notARegularFile()
{
    return QStringLiteral("Not a regular file");
}

FileRangeSource::FileRangeSource(int fd, std::int64_t begin, std::int64_t end, std::atomic<bool> *waitedForDisk)
    : m_fd(fd)
    , m_position(begin)
    , m_end(end)
    , m_waitedForDisk(waitedForDisk)
{
}

std::int64_t FileRangeSource::read(char *buffer, std::int64_t max)
{
    if (m_end >= 0)
        max = std::min(max, m_end - m_position);
    if (max <= 0)
        return 0;
#ifdef RWF_NOWAIT
    if (std::atomic<bool> *flag = std::exchange(m_waitedForDisk, nullptr)) {
        // Only what the page cache holds; EAGAIN when that is nothing
        // (EOPNOTSUPP where the file system cannot tell: no signal then).
        iovec vector{buffer, static_cast<std::size_t>(max)};
        ssize_t got;
        do
            got = ::preadv2(m_fd, &vector, 1, m_position, RWF_NOWAIT);
        while (got < 0 && errno == EINTR);
        if (got > 0) {
            m_position += got;
            return got;
        }
        if (got < 0 && errno == EAGAIN)
            flag->store(true, std::memory_order_relaxed);
    }
#endif
    for (;;) {
        const ssize_t got = ::pread(m_fd, buffer, static_cast<std::size_t>(max), m_position);
        if (got >= 0) {
            m_position += got;
            return got;
        }
        if (errno != EINTR) {
            m_error = describeErrno(errno);
            return -1;
        }
    }
}

OpenFile::OpenFile(const QString &path)
{
    const QByteArray native = nativePath(path);
    // O_NONBLOCK: opening a FIFO without a writer must not hang; it is
    // refused below anyway.
    do
        m_fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        m_error = describeErrno(errno);
        return;
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        m_error = describeErrno(errno);
    } else if (S_ISDIR(info.st_mode)) {
        m_error = describeErrno(EISDIR);
        m_folder = true;
    } else if (!S_ISREG(info.st_mode)) {
        m_error = notARegularFile();
    } else {
        m_size = info.st_size;
        return;
    }
    ::close(m_fd);
    m_fd = -1;
}

OpenFile::~OpenFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace brinmoor::counting
