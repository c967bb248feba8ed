#pragma once

#include "CommandLine.h"

#include <QString>

#include <cstdint>
#include <memory>

class QIODevice;

namespace brinmoor::cli {

// Writes the results of a run in one output format, piece by piece as they
// arrive. It gathers them and writes them to the device in large pieces
// (and on flush()), checking every write: after the first one that fails
// it writes nothing more, and failed() tells the caller to stop.
class ResultWriter
{
public:
    explicit ResultWriter(QIODevice &out)
        : m_out(out)
    {
    }
    virtual ~ResultWriter() = default;
    virtual void begin() {}
    // A results-list row as the window would show it.
    virtual void row(const QString &) {}
    virtual void file(const QString &, std::uint64_t) {}
    // Written as it comes (failures may be endless: a list of missing paths).
    virtual void failure(const QString &, const QString &) {}
    virtual void end(std::uint64_t) {}

    // Writes out what is gathered; false once any write has failed.
    bool flush();
    bool failed() const { return m_failed; }
    // Why the write failed, as the device says.
    QString error() const { return m_error; }

protected:
    void put(QByteArrayView bytes);

private:
    QIODevice &m_out;
    QByteArray m_pending;
    bool m_failed = false;
    QString m_error;
};

std::unique_ptr<ResultWriter> makeResultWriter(OutputFormat format, QIODevice &out);

// Helpers of the formats, exposed for tests.
QByteArray csvField(const QString &text);
QByteArray jsonString(const QString &text);

} // namespace brinmoor::cli
