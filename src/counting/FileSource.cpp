#include "FileSource.h"

#include "LongPaths.h"
#include "Paths.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace brinmoor::counting {

namespace {

int openRetrying(int folder, const char *path, int flags, mode_t mode)
{
    int fd;
    do
        fd = ::openat(folder, path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens that found no descriptor free take turns waiting for one.
std::mutex g_descriptorWait;
// How long an open waits for a descriptor in all before the file fails.
constexpr std::chrono::seconds DescriptorPatience{10};

} // namespace

int openNative(const QByteArray &native, int flags, mode_t mode)
{
    const int fd = openRetrying(AT_FDCWD, native.constData(), flags, mode);
    if (fd >= 0 || errno != ENAMETOOLONG || native.size() < PATH_MAX)
        return fd;
    return openAtDepth(std::string_view(native.constData(), std::size_t(native.size())), flags, mode);
}

int openNativeWaiting(const QByteArray &native, int flags)
{
    int fd = openNative(native, flags);
    if (fd >= 0 || (errno != EMFILE && errno != ENFILE))
        return fd;
    // Other threads hold descriptors only while they read a file: one
    // comes free soon. One waiter at a time, so none of them starves.
    std::lock_guard lock(g_descriptorWait);
    const auto giveUp = std::chrono::steady_clock::now() + DescriptorPatience;
    auto pause = std::chrono::microseconds(100);
    for (;;) {
        fd = openNative(native, flags);
        if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || std::chrono::steady_clock::now() >= giveUp)
            return fd;
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(5));
    }
}

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
    m_fd = openNativeWaiting(native, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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
