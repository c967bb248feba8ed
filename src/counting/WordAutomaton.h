#pragma once

#include <QChar>

#include <cstdint>
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
// States are numbered breadth first. The shallowest ones, where text spends
// most of its time, get a dense row of next states; deeper ones keep sorted
// child labels and a fallback link and are stepped through those. A state
// is held as a dense row offset, as kDeep | id for a deeper state, or as
// kMatch. Immutable once built: shared read-only by every worker thread.
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
    explicit WordAutomaton(const std::vector<std::u16string_view> &words);

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
    std::size_t memoryBytes() const;

private:
    State encode(std::uint32_t id) const;
    std::uint32_t child(std::uint32_t id, std::uint16_t label) const;

    std::vector<std::uint16_t> m_unitClass;   // 65,536 entries
    std::uint16_t m_byteClass[256] = {};
    std::uint32_t m_classes = 1;
    std::uint32_t m_denseStates = 1;
    std::vector<State> m_dense;                // m_denseStates rows of m_classes
    // Per state: the class of the edge into it, where its children start
    // (children are consecutive, sorted by label; the next state's entry ends
    // them), and its fallback with kMatchBit set when a word ends there.
    std::vector<std::uint16_t> m_label;
    std::vector<std::uint32_t> m_firstChild;   // one more than states
    std::vector<std::uint32_t> m_fail;
    static constexpr std::uint32_t kMatchBit = 0x80000000u;
};

} // namespace brinmoor::counting
