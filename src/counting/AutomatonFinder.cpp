#include "AutomatonFinder.h"

#include "CountingPath.h"

#include <algorithm>

namespace brinmoor::counting {

AutomatonFinder::State AutomatonFinder::run(const unsigned char *p, std::size_t from, std::size_t to, State state)
{
    const std::uint16_t *classes = m_words.byteClasses();
    for (std::size_t i = from; i < to; ++i) {
        if (i % 64 == 0)
            m_chunkStates[i / 64] = state;
        state = m_words.next(state, classes[p[i]]);
        if (state == WordAutomaton::kMatch) {
            m_hits[i / 64] |= std::uint64_t{1} << (i % 64);
            state = WordAutomaton::kRoot;
        }
    }
    return state;
}

void AutomatonFinder::beginBlock(const unsigned char *p, std::size_t n)
{
    const std::size_t chunks = (n + 63) / 64;
    m_hits.assign(chunks, 0);
    m_chunkStates.resize(chunks);

    // One automaton step waits for the last one's load. Four stretches that
    // each start on a fresh line (so from the root) are stepped side by side
    // to overlap those waits. A line runs on past a stretch's end, and
    // after a match the rest of its line is not looked at, so resetting to
    // the root there is as good as any state.
    constexpr std::size_t kStreams = 4;
    std::size_t begin[kStreams + 1] = {0};
    std::size_t streams = 1;
    for (std::size_t j = 1; j < kStreams; ++j) {
        std::size_t at = n * j / kStreams;
        const std::size_t limit = n * (j + 1) / kStreams;
        while (at < limit && !isLineBreak(p[at]))
            ++at;
        if (at + 1 < limit)
            begin[streams++] = at + 1;
    }
    begin[streams] = n;
    if (streams < kStreams) {
        // Long lines: one stretch.
        m_state = run(p, 0, n, m_state);
        return;
    }

    std::size_t at[kStreams];
    State state[kStreams] = {m_state, WordAutomaton::kRoot, WordAutomaton::kRoot, WordAutomaton::kRoot};
    std::size_t rounds = n;
    for (std::size_t k = 0; k < kStreams; ++k) {
        at[k] = std::min((begin[k] + 63) / 64 * 64, begin[k + 1]);
        state[k] = run(p, begin[k], at[k], state[k]);
        rounds = std::min(rounds, (begin[k + 1] - at[k]) / 64);
    }
    const std::uint16_t *classes = m_words.byteClasses();
    const State *dense = m_words.dense();
    auto stepAt = [&](std::size_t k, std::size_t i) {
        const std::uint16_t c = classes[p[at[k] + i]];
        const State s = state[k];
        state[k] = s < WordAutomaton::kDeep ? dense[s + c] : m_words.deepNext(s & ~WordAutomaton::kDeep, c);
        if (state[k] == WordAutomaton::kMatch) [[unlikely]] {
            m_hits[at[k] / 64] |= std::uint64_t{1} << i;
            state[k] = WordAutomaton::kRoot;
        }
    };
    for (std::size_t r = 0; r < rounds; ++r) {
        for (std::size_t k = 0; k < kStreams; ++k)
            m_chunkStates[at[k] / 64] = state[k];
        for (std::size_t i = 0; i < 64; ++i) {
            stepAt(0, i);
            stepAt(1, i);
            stepAt(2, i);
            stepAt(3, i);
        }
        for (std::size_t k = 0; k < kStreams; ++k)
            at[k] += 64;
    }
    for (std::size_t k = 0; k < kStreams; ++k)
        state[k] = run(p, at[k], begin[k + 1], state[k]);
    m_state = state[kStreams - 1];
}

AutomatonFinder::State AutomatonFinder::stateBefore(const unsigned char *p, std::ptrdiff_t pos) const
{
    const auto at = static_cast<std::size_t>(pos);
    const std::uint16_t *classes = m_words.byteClasses();
    State state = m_chunkStates[at / 64];
    for (std::size_t i = at / 64 * 64; i < at; ++i) {
        state = m_words.next(state, classes[p[i]]);
        if (state == WordAutomaton::kMatch)
            state = WordAutomaton::kRoot;
    }
    return state;
}

} // namespace brinmoor::counting
