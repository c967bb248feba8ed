#pragma once

#include <QIODevice>

namespace brinmoor::cli {

// A descriptor written with write(2) straight away, each call checked: a
// closed pipe, a full disk or a descriptor that was never open fails the
// write that meets it, with the system's reason, and is not left to a
// buffer that may never be flushed. The caller does its own buffering.
class DescriptorOutput final : public QIODevice
{
    Q_OBJECT
public:
    // closed: the program was started with this descriptor closed (and
    // something else holds the number now); every write then fails.
    explicit DescriptorOutput(int fd, bool closed = false);

    // The reader of the pipe went away: the usual end of `| head`, which
    // needs no message.
    bool readerLeft() const { return m_error == EPIPE; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    const int m_fd;
    const bool m_closed;
    int m_error = 0;
};

// Opens /dev/null onto whichever of the standard descriptors 0 to 2 the
// program was started without, so that no file it opens later takes one of
// their numbers (and a result meant for standard output lands in it).
// Returns whether standard output was among them.
bool fillClosedStandardDescriptors();

} // namespace brinmoor::cli
