#pragma once

#include <QChar>

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace brinmoor::counting {

// Every exclusion word in one automaton (Aho-Corasick) over case-folded
// UTF-16 units: a line holds a word exactly when the automaton, fed the
// line's units from the root, reaches kMatch. Each unit costs one step,
// amortised, whatever the number and length of the words.
//
// Units are mapped to classes first: one class per unit that occurs in a
// word, class 0 for every other unit (CR and LF among them, so a line end
// always leads back to the root). The class table folds as it maps, so raw
// units go in. ASCII bytes are their own units, which lets the byte path
// and the decoded path share one automaton state within a line.
//
// The shallowest levels, where text spends most of its time, get a dense
// row of next states each. Below them the trie is held in a few bytes a
// state, so that memory grows with the words' total length at a small
// constant however long the words are: states are numbered in depth-first
// order, so a state with one child (most states of a long word) finds it at
// the next number; a state with several keeps a sorted list; and fallback
// links are kept only where they cannot be recomputed in a few steps from
// one kept a little way up the same chain.
//
// A state is held as a dense row offset, as kDeep | id for a deeper state,
// or as kMatch. Immutable once built: shared read-only by every worker thread.
class WordAutomaton
{
public:
    using State = std::uint32_t;
    static constexpr State kRoot = 0;
    static constexpr State kDeep = 0x80000000u;
    static constexpr State kMatch = 0xFFFFFFFFu;

    // No words: every line steps to the root.
    WordAutomaton();
    // words: folded, sorted, without duplicates, none empty or holding CR or LF.
    // denseEntries bounds the dense rows (tests make it small to reach the
    // sparse states with few words). wordsRead, if given, is called as soon
    // as the words are no longer read, before the build's larger tables are
    // made: a caller that frees them there keeps them out of the build's
    // peak. Throws std::length_error past two thousand million states.
    static constexpr std::size_t kDenseBudget = std::size_t{1} << 22;   // 16 MiB
    explicit WordAutomaton(const std::vector<std::u16string_view> &words, std::size_t denseEntries = kDenseBudget,
                           const std::function<void()> &wordsRead = {});

    std::uint16_t unitClass(char16_t unit) const { return m_unitClass[unit]; }
    // Classes of bytes on the byte path: ASCII folded, every byte >= 0x80
    // in class 0 (the caller decodes the characters that need folding).
    const std::uint16_t *byteClasses() const { return m_byteClass; }

    State next(State state, std::uint16_t unitClass) const
    {
        return state < kDeep ? m_dense[state + unitClass] : deepNext(state & ~kDeep, unitClass);
    }

    // The dense rows, for a scanning loop that inlines next().
    const State *dense() const { return m_dense.data(); }
    State deepNext(std::uint32_t id, std::uint16_t unitClass) const;

    // Sizes, for tests and the benchmark's notes.
    std::size_t stateCount() const { return m_label.size(); }
    std::size_t denseStateCount() const { return m_denseStates; }
    std::size_t storedFallbackCount() const { return m_storedFail.size(); }
    std::size_t memoryBytes() const;

    // A bit per state, with the count of set bits before every 64 of them so
    // that a state's index among the set ones is found in constant time.
    class RankedBits
    {
    public:
        void resize(std::size_t n) { m_words.assign((n + 63) / 64, 0); }
        void set(std::size_t i) { m_words[i >> 6] |= std::uint64_t{1} << (i & 63); }
        bool test(std::size_t i) const { return (m_words[i >> 6] >> (i & 63)) & 1; }
        void finishRanks();
        std::uint32_t rank(std::size_t i) const
        {
            const std::uint64_t below = (std::uint64_t{1} << (i & 63)) - 1;
            return m_before[i >> 6] + static_cast<std::uint32_t>(__builtin_popcountll(m_words[i >> 6] & below));
        }
        const std::vector<std::uint64_t> &words() const { return m_words; }
        std::size_t memoryBytes() const { return m_words.capacity() * 8 + m_before.capacity() * 4; }

    private:
        std::vector<std::uint64_t> m_words;
        std::vector<std::uint32_t> m_before;
    };

private:
    std::uint32_t child(std::uint32_t id, std::uint16_t label) const;
    std::uint32_t fallback(std::uint32_t id) const;
    std::uint32_t denseRow(std::uint32_t id) const { return m_isDense.rank(id); }
    State encode(std::uint32_t id) const;

    std::vector<std::uint16_t> m_unitClass;   // 65,536 entries
    std::uint16_t m_byteClass[256] = {};
    std::uint32_t m_classes = 1;
    std::uint32_t m_denseStates = 1;
    std::vector<State> m_dense;                // m_denseStates rows of m_classes
    std::vector<std::uint32_t> m_denseId;      // the state of each dense row

    // Per state, in depth-first order: the class of the edge into it.
    std::vector<std::uint16_t> m_label;
    RankedBits m_match;      // a word ends here (or at its fallback): the line is excluded
    RankedBits m_isDense;    // it has a dense row (its rank is the row)
    RankedBits m_branch;     // two children or more, listed in m_branchChild
    RankedBits m_hasFail;    // its fallback is kept in m_storedFail
    std::vector<std::uint32_t> m_branchStart;  // per branching state, one more at the end
    std::vector<std::uint32_t> m_branchChild;  // sorted by label within each state
    std::vector<std::uint32_t> m_storedFail;
};

} // namespace brinmoor::counting
