#pragma once

#include "CountingPath.h"
#include "PreparedOptions.h"

#include <QStringDecoder>

namespace brinmoor::counting {

// UTF-16 text (a file that starts with its byte-order mark): decoded whole,
// one character at a time. Correct rather than fast.
class Utf16Path final : public CountingPath
{
public:
    Utf16Path(const PreparedOptions &options, bool littleEndian, OpenLine &line);

    void count(const unsigned char *p, std::size_t n) override;
    void finish() override;

private:
    void countChars(const QString &text);
    void endLine(bool nonBlank);

    const PreparedOptions &m_options;
    const bool m_littleEndian;
    OpenLine &m_line;
    QStringDecoder m_decoder;
};

} // namespace brinmoor::counting
