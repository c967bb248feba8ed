#pragma once

#include "CountOptions.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace brinmoor::counting {

// One exclusion word as the byte scanner looks for it: case-folded ASCII bytes.
// Only lines made of ASCII bytes are searched this way; a line with any byte
// >= 0x80 goes to the decoded path, where every word is searched.
struct AsciiNeedle
{
    std::string bytes;   // folded (lower-case) ASCII, never empty, never CR or LF
};

// The options compiled once for the engine and shared read-only by every
// worker thread.
class PreparedOptions
{
public:
    PreparedOptions(const CountOptions &options);

    bool excludeBlank() const { return m_excludeBlank; }
    bool hasWords() const { return !m_foldedWords.isEmpty(); }
    // Trimmed of U+0020, case-folded, without empty rows, duplicates and
    // words holding CR or LF (no line can contain those).
    const QStringList &foldedWords() const { return m_foldedWords; }
    // The folded words that are pure ASCII: the only ones an ASCII line can hold.
    const std::vector<AsciiNeedle> &asciiNeedles() const { return m_asciiNeedles; }
    // How much text before a read boundary a match across it can need:
    // the longest folded word, in UTF-16 units, less one.
    qsizetype tailLength() const { return m_tailLength; }

private:
    bool m_excludeBlank = false;
    QStringList m_foldedWords;
    std::vector<AsciiNeedle> m_asciiNeedles;
    qsizetype m_tailLength = 0;
};

} // namespace brinmoor::counting
