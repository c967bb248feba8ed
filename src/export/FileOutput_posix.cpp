#include "FileOutput.h"

#include <Paths.h>

#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brinmoor::exports {

WriteStop::WriteStop()
    : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

WriteStop::~WriteStop()
{
    if (m_wake >= 0)
        ::close(m_wake);
}

void WriteStop::stop()
{
    m_stopped.store(true, std::memory_order_release);
    if (m_wake >= 0) {
        const uint64_t one = 1;
        // A full counter (never reached) would still leave it readable.
        [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
    }
}

void ignoreBrokenPipes()
{
    ::signal(SIGPIPE, SIG_IGN);
}

QString systemErrorText(int error)
{
    char buffer[256];
    // The GNU form answers a pointer that may or may not be the buffer.
    const char *text = ::strerror_r(error, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

DescriptorDevice::DescriptorDevice(int descriptor, std::shared_ptr<WriteStop> stop)
    : m_fd(descriptor)
    , m_stop(std::move(stop))
{
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

DescriptorDevice::~DescriptorDevice()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void DescriptorDevice::fail(int error)
{
    if (m_error == 0)
        m_error = error;
    setErrorString(systemErrorText(error));
}

bool DescriptorDevice::waitUntilWritable()
{
    pollfd watched[2] = {{m_fd, POLLOUT, 0}, {m_stop ? m_stop->wakeDescriptor() : -1, POLLIN, 0}};
    const int timeout = m_stop && m_stop->wakeDescriptor() < 0 ? 200 : -1;
    for (;;) {
        if (m_stop && m_stop->stopped())
            return false;
        const int ready = ::poll(watched, 2, timeout);
        if (ready < 0 && errno != EINTR) {
            fail(errno);
            return false;
        }
        if (ready > 0 && watched[0].revents != 0)
            return true;   // writable, or an error the next write names
    }
}

qint64 DescriptorDevice::writeData(const char *data, qint64 size)
{
    if (m_fd < 0) {
        fail(EBADF);
        return -1;
    }
    qint64 done = 0;
    while (done < size) {
        if (m_stop && m_stop->stopped()) {
            m_stopped = true;
            setErrorString(QStringLiteral("Stopped"));
            return -1;
        }
        const ssize_t written = ::write(m_fd, data + done, size_t(size - done));
        if (written > 0) {
            done += written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitUntilWritable())
                continue;
            if (m_error == 0) {
                m_stopped = true;
                setErrorString(QStringLiteral("Stopped"));
            }
            return -1;
        }
        // A write of 0 bytes to a regular file means no room for more.
        fail(written < 0 ? errno : ENOSPC);
        return done > 0 ? done : -1;
    }
    return done;
}

bool DescriptorDevice::syncToDisk()
{
    if (m_fd < 0)
        return false;
    if (::fsync(m_fd) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP)
        return true;
    fail(errno);
    return false;
}

bool DescriptorDevice::closeDescriptor()
{
    if (m_fd < 0)
        return m_error == 0;
    const int fd = std::exchange(m_fd, -1);
    QIODevice::close();
    // Linux frees the descriptor even when close fails, so no retry.
    if (::close(fd) != 0 && errno != EINTR) {
        fail(errno);
        return false;
    }
    return true;
}

void DescriptorDevice::close()
{
    closeDescriptor();
}

// ----------------------------------------------------------- ReplacementFile

ReplacementFile::ReplacementFile(QString target, std::shared_ptr<WriteStop> stop)
    : m_target(std::move(target))
    , m_stop(std::move(stop))
{
}

ReplacementFile::~ReplacementFile()
{
    discard();
}

bool ReplacementFile::fail(int error)
{
    if (m_device && m_device->systemError() != 0)
        error = m_device->systemError();
    m_reason = systemErrorText(error);
    discard();
    return false;
}

bool ReplacementFile::open()
{
    const QByteArray target = nativePath(m_target);
    struct stat old {};
    m_hadTarget = ::stat(target.constData(), &old) == 0;
    if (m_hadTarget) {
        m_mode = old.st_mode & 07777;
        m_owner = old.st_uid;
        m_group = old.st_gid;
    }

    // Beside the target, so the rename stays on one file system; hidden, so
    // a folder view does not flash it. A new file gets 0666 less the umask,
    // as any program's new file; one that replaces a file starts private
    // and takes the old bits at the end.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash >= 0 ? target.left(slash + 1) : QByteArray();
    const QByteArray name = target.mid(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate = folder + '.' + name + '.'
            + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                              m_hadTarget ? 0600 : 0666);
        if (fd >= 0) {
            m_temporary = candidate;
            m_device = std::make_unique<DescriptorDevice>(fd, m_stop);
            return true;
        }
        if (errno != EEXIST)
            return fail(errno);
    }
    return fail(EEXIST);
}

QIODevice &ReplacementFile::device()
{
    return *m_device;
}

bool ReplacementFile::commit()
{
    if (!m_device)
        return false;
    if (m_device->systemError() != 0)
        return fail(m_device->systemError());
    if (!m_device->syncToDisk())
        return fail(m_device->systemError());
    if (m_hadTarget) {
        const int fd = m_device->descriptor();
        // Owner first: changing it clears the set-id bits that the mode then
        // restores. Only the owner's own process or an administrator may
        // give a file away; anyone else gets a file of their own.
        if (m_owner != ::geteuid() || m_group != ::getegid()) {
            if (::fchown(fd, m_owner, m_group) != 0 && ::fchown(fd, ::geteuid(), m_group) != 0) {
                // Neither owner nor group could be kept: the file is ours.
            }
        }
        if (::fchmod(fd, m_mode) != 0)
            return fail(errno);
    }
    if (!m_device->closeDescriptor())
        return fail(m_device->systemError());
    if (::rename(m_temporary.constData(), nativePath(m_target).constData()) != 0)
        return fail(errno);
    m_temporary.clear();
    m_device.reset();
    return true;
}

void ReplacementFile::discard()
{
    m_device.reset();
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
}

} // namespace brinmoor::exports
