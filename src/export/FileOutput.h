#pragma once

#include <QIODevice>
#include <QString>

#include <atomic>
#include <memory>

namespace brinmoor::exports {

// Lets the GUI thread stop a write running on another thread, including one
// that waits for a pipe's reader to make room: stop() wakes that wait.
class WriteStop
{
public:
    WriteStop();
    ~WriteStop();
    WriteStop(const WriteStop &) = delete;
    WriteStop &operator=(const WriteStop &) = delete;

    // Any thread; every later or waiting write fails at once.
    void stop();
    bool stopped() const { return m_stopped.load(std::memory_order_acquire); }
    // Readable once stop() was called (-1 when the system gave none: then a
    // waiting write looks at stopped() a few times a second).
    int wakeDescriptor() const { return m_wake; }

private:
    std::atomic<bool> m_stopped{false};
    int m_wake = -1;
};

// Makes a write into a pipe whose reader has left fail with EPIPE instead
// of ending the process; process-wide, and harmless to call again.
void ignoreBrokenPipes();

// The system's text for an error number ("No space left on device").
QString systemErrorText(int error);

// A write-only, unbuffered device over a file descriptor that it owns. Each
// write goes to the system at once and the first refusal keeps the system's
// own reason, so a full disk or a closed pipe is named as such. A descriptor
// in non-blocking mode (a pipe, a terminal) is waited on with poll, so a
// WriteStop can end the wait. The device is meant for one thread at a time.
class DescriptorDevice final : public QIODevice
{
public:
    explicit DescriptorDevice(int descriptor, std::shared_ptr<WriteStop> stop = {});
    ~DescriptorDevice() override;

    int descriptor() const { return m_fd; }
    // The errno of the first failure, 0 while none.
    int systemError() const { return m_error; }
    bool wasStopped() const { return m_stopped; }

    // Hands what was written to the disk and answers whether it got there:
    // on some file systems a full disk shows only here. Devices and pipes
    // that cannot be synced count as synced.
    bool syncToDisk();
    // Closes the descriptor and answers whether the close reported no error
    // (network file systems report late write failures there).
    bool closeDescriptor();
    void close() override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    void fail(int error);
    bool waitUntilWritable();

    int m_fd;
    std::shared_ptr<WriteStop> m_stop;
    int m_error = 0;
    bool m_stopped = false;
};

// A regular file written beside its target and renamed over it only once
// it is complete and on the disk, so that a failure at any point, the last
// sync included, leaves the old file as it was. The new file takes over the
// old one's permission bits and, where this process may set them, its owner
// and group.
class ReplacementFile
{
public:
    // target: the file to replace or create (links already resolved).
    explicit ReplacementFile(QString target, std::shared_ptr<WriteStop> stop = {});
    ~ReplacementFile();   // removes the new file unless committed

    // Creates the new file; false with errorString() when it cannot be.
    bool open();
    QIODevice &device();
    // Syncs, sets the kept attributes, closes and renames; false with
    // errorString() on any failure, the old file untouched.
    bool commit();
    void discard();
    QString errorString() const { return m_reason; }

private:
    bool fail(int error);

    QString m_target;
    QByteArray m_temporary;
    std::shared_ptr<WriteStop> m_stop;
    std::unique_ptr<DescriptorDevice> m_device;
    QString m_reason;
    bool m_hadTarget = false;
    unsigned m_mode = 0;
    unsigned m_owner = 0;
    unsigned m_group = 0;
};

} // namespace brinmoor::exports
