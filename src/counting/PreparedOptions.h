#pragma once

#include "CountOptions.h"
#include "WordAutomaton.h"

#include <string>
#include <vector>

namespace brinmoor::counting {

// One exclusion word as the byte scanner's prefilter looks for it:
// case-folded ASCII bytes.
struct AsciiNeedle
{
    std::string bytes;   // folded (lower-case) ASCII, never empty, never CR or LF
};

// The options compiled once for the engine and shared read-only by every
// worker thread.
class PreparedOptions
{
public:
    // The byte path looks for words through the kernels' first-and-last-byte
    // filter when there are at most this many ASCII words, none longer than
    // the kernels' look-behind; otherwise it steps the automaton over every
    // byte.
    static constexpr std::size_t kMaxNeedles = 8;

    PreparedOptions(const CountOptions &options);
    // The same, letting go of the words as soon as they are folded.
    explicit PreparedOptions(CountOptions &&options);

    bool excludeBlank() const { return m_excludeBlank; }
    // Words trimmed of U+0020 (if asked), case-folded, without empty rows, duplicates
    // and words holding CR or LF (no line can contain those).
    bool hasWords() const { return m_wordCount > 0; }
    std::size_t wordCount() const { return m_wordCount; }
    const WordAutomaton &automaton() const { return m_automaton; }
    // Every folded word is ASCII: a character outside ASCII can be part of a
    // match only when it folds to ASCII (U+017F and U+212A).
    bool asciiWordsOnly() const { return m_asciiWordsOnly; }
    // The longest folded word, in UTF-16 units.
    std::size_t longestWord() const { return m_longestWord; }
    // The prefilter's words, empty when the automaton reads every byte.
    const std::vector<AsciiNeedle> &asciiNeedles() const { return m_asciiNeedles; }
    bool usesPrefilter() const { return m_prefilter; }

private:
    bool m_excludeBlank = false;
    std::size_t m_wordCount = 0;
    bool m_asciiWordsOnly = true;
    bool m_prefilter = false;
    std::size_t m_longestWord = 0;
    std::vector<AsciiNeedle> m_asciiNeedles;
    WordAutomaton m_automaton;
};

} // namespace brinmoor::counting
