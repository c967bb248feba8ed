#include "StandardOutput.h"

#include "FileSource.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace brinmoor::cli {

DescriptorOutput::DescriptorOutput(int fd, bool closed)
    : m_fd(fd)
    , m_closed(closed)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 DescriptorOutput::writeData(const char *data, qint64 size)
{
    if (m_closed) {
        m_error = EBADF;
        setErrorString(QStringLiteral("standard output is closed"));
        return -1;
    }
    qint64 done = 0;
    while (done < size) {
        const ssize_t wrote = ::write(m_fd, data + done, std::size_t(size - done));
        if (wrote < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            setErrorString(counting::describeErrno(m_error));
            return -1;
        }
        done += wrote;
    }
    return done;
}

bool fillClosedStandardDescriptors()
{
    bool outputClosed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        outputClosed = outputClosed || fd == 1;
        // The lowest free number is this one: the lower ones are open by now.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
    return outputClosed;
}

} // namespace brinmoor::cli
