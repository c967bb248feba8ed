#pragma once

#include "PreparedOptions.h"
#include "kernels/Kernels.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace brinmoor::counting {

// Where words end on the byte path when they are few, short and ASCII: the
// kernels mark candidates by a word's first and last byte, and the
// automaton reads only up to a candidate to verify it. A word ending at a
// candidate starts at most longestWord() bytes before it, which the
// look-behind holds.
class PrefilterFinder
{
public:
    using State = WordAutomaton::State;

    explicit PrefilterFinder(const PreparedOptions &options);

    const kernels::Needle *needles() const { return m_needles.data(); }
    std::size_t needleCount() const { return m_needles.size(); }

    void beginBlock(const unsigned char *, std::size_t) {}
    std::uint64_t hits(const kernels::Masks &masks, std::size_t) const { return masks.candidates; }

    // Where the first word ending at or before the candidate at hit ends;
    // past hit when the candidate is none.
    std::ptrdiff_t wordEnd(const unsigned char *p, std::ptrdiff_t hit) { return scan(p, m_scanned, hit + 1); }

    // The automaton's state just before pos, for the decoder to go on from.
    State stateBefore(const unsigned char *p, std::ptrdiff_t pos)
    {
        scan(p, m_scanned, pos);
        return m_state;
    }

    // Past what the ended line held: a word found there again would be
    // taken for one in the next line.
    void lineEnded(std::ptrdiff_t pos)
    {
        m_state = WordAutomaton::kRoot;
        m_scanned = pos + 1;
    }

    void endBlock(std::size_t n)
    {
        // Relative to the next block; far enough back is as good as anywhere.
        m_scanned = std::max(m_scanned - static_cast<std::ptrdiff_t>(n),
                             -static_cast<std::ptrdiff_t>(kernels::kLookBehind) - 1);
    }

private:
    std::ptrdiff_t scan(const unsigned char *p, std::ptrdiff_t from, std::ptrdiff_t to)
    {
        // Bytes more than the longest word before `to` cannot be part of a
        // word that ends at or after it: start afresh past them.
        const std::ptrdiff_t earliest = to - m_longestWord;
        if (from < earliest) {
            from = earliest;
            m_state = WordAutomaton::kRoot;
        }
        const std::uint16_t *classes = m_words.byteClasses();
        for (std::ptrdiff_t i = from; i < to; ++i) {
            m_state = m_words.next(m_state, classes[p[i]]);
            if (m_state == WordAutomaton::kMatch) {
                m_state = WordAutomaton::kRoot;
                m_scanned = i + 1;
                return i;
            }
        }
        m_scanned = to;
        return to;
    }

    const WordAutomaton &m_words;
    const std::ptrdiff_t m_longestWord;
    std::vector<kernels::Needle> m_needles;
    // Where the automaton stopped reading, relative to the block, and its
    // state there.
    State m_state = WordAutomaton::kRoot;
    std::ptrdiff_t m_scanned = 0;
};

} // namespace brinmoor::counting
