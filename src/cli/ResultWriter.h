#pragma once

#include "CommandLine.h"

#include <QString>

#include <cstdint>
#include <memory>

class QIODevice;

namespace brinmoor::cli {

// Writes the results of a run in one output format, piece by piece as they
// arrive. The device is expected to buffer; the caller flushes.
class ResultWriter
{
public:
    virtual ~ResultWriter() = default;
    virtual void begin() {}
    // A results-list row as the window would show it.
    virtual void row(const QString &) {}
    virtual void file(const QString &, std::uint64_t) {}
    virtual void failure(const QString &, const QString &) {}
    virtual void end(std::uint64_t) {}
};

std::unique_ptr<ResultWriter> makeResultWriter(OutputFormat format, QIODevice &out);

// Helpers of the formats, exposed for tests.
QByteArray csvField(const QString &text);
QByteArray jsonString(const QString &text);

} // namespace brinmoor::cli
