#pragma once

#include <QIODevice>

// A write-only device that takes the first limit bytes and then refuses
// every write, like a disk that fills up halfway through a file.
class FailingDevice final : public QIODevice
{
public:
    explicit FailingDevice(qint64 limit)
        : m_limit(limit)
    {
        open(QIODevice::WriteOnly);
    }

    QByteArray written() const { return m_written; }

protected:
    qint64 readData(char *, qint64) override { return -1; }

    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 room = m_limit - m_written.size();
        if (room <= 0) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        const qint64 taken = std::min(room, size);
        if (taken < size)
            setErrorString(QStringLiteral("No space left on device"));
        m_written.append(data, taken);
        return taken;
    }

private:
    qint64 m_limit;
    QByteArray m_written;
};
