#pragma once

#include "PreparedOptions.h"
#include "kernels/Kernels.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brinmoor::counting {

// Where words end on the byte path when they are many, long or not ASCII:
// the automaton reads every byte of a block up front and records, per 64
// bytes, where words end and its state at the start.
class AutomatonFinder
{
public:
    using State = WordAutomaton::State;

    explicit AutomatonFinder(const PreparedOptions &options)
        : m_words(options.automaton())
    {
    }

    const kernels::Needle *needles() const { return nullptr; }
    std::size_t needleCount() const { return 0; }

    void beginBlock(const unsigned char *p, std::size_t n);
    std::uint64_t hits(const kernels::Masks &, std::size_t chunk) const { return m_hits[chunk]; }

    // The automaton's own matches need no verifying.
    std::ptrdiff_t wordEnd(const unsigned char *, std::ptrdiff_t hit) const { return hit; }

    // The state just before pos as beginBlock() went: after a match in an
    // earlier line of the chunk, from the root.
    State stateBefore(const unsigned char *p, std::ptrdiff_t pos) const;

    void lineEnded(std::ptrdiff_t) {}
    void endBlock(std::size_t) {}

private:
    State run(const unsigned char *p, std::size_t from, std::size_t to, State state);

    const WordAutomaton &m_words;
    State m_state = WordAutomaton::kRoot;   // where the last block left it
    std::vector<std::uint64_t> m_hits;
    std::vector<State> m_chunkStates;
};

} // namespace brinmoor::counting
