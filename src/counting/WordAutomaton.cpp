#include "WordAutomaton.h"

#include <algorithm>
#include <stdexcept>

namespace brinmoor::counting {

namespace {

// A fallback is kept at least every this many states along a chain: finding
// one that is not kept costs at most this many steps.
constexpr std::uint32_t kFailEvery = 16;

char16_t foldedUnit(char16_t unit)
{
    // Simple case folding maps the BMP onto itself and leaves surrogates
    // alone; pairs are folded by the caller as whole characters.
    return QChar::isSurrogate(unit) ? unit : static_cast<char16_t>(QChar::toCaseFolded(char32_t{unit}));
}

std::size_t commonPrefix(std::u16string_view a, std::u16string_view b)
{
    const auto ends = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return static_cast<std::size_t>(ends.first - a.begin());
}

} // namespace

void WordAutomaton::RankedBits::finishRanks()
{
    m_before.resize(m_words.size() + 1);
    std::uint32_t sum = 0;
    for (std::size_t w = 0; w < m_words.size(); ++w) {
        m_before[w] = sum;
        sum += static_cast<std::uint32_t>(__builtin_popcountll(m_words[w]));
    }
    m_before[m_words.size()] = sum;
}

WordAutomaton::WordAutomaton()
    : WordAutomaton(std::vector<std::u16string_view>{})
{
}

// Dense rows take at most kDenseBudget entries: ten thousand everyday words
// fit whole; a larger or longer set keeps its deeper states sparse.
WordAutomaton::WordAutomaton(const std::vector<std::u16string_view> &words, std::size_t denseEntries,
                             const std::function<void()> &wordsRead)
    : m_unitClass(0x10000, 0)
{
    // Classes in increasing unit order, so that words sorted by unit give
    // every state's children sorted by label.
    std::vector<std::uint16_t> classOf(0x10000, 0);
    for (std::u16string_view word : words)
        for (char16_t unit : word)
            classOf[unit] = 1;
    for (std::uint32_t unit = 0; unit < 0x10000; ++unit)
        if (classOf[unit])
            classOf[unit] = static_cast<std::uint16_t>(m_classes++);
    if (m_classes > 1)
        for (std::uint32_t unit = 0; unit < 0x10000; ++unit)
            m_unitClass[unit] = classOf[foldedUnit(static_cast<char16_t>(unit))];
    for (std::size_t b = 0; b < 0x80; ++b)
        m_byteClass[b] = m_unitClass[b];

    // The trie in depth-first order, straight from the sorted words: each
    // word adds the states below its common prefix with the word before it,
    // numbered one after the other. A word that starts with an earlier one
    // adds nothing: a line holding it holds the shorter word too.
    std::size_t states = 1;
    {
        std::u16string_view kept;
        for (std::u16string_view word : words) {
            const std::size_t shared = commonPrefix(kept, word);
            if (!kept.empty() && shared == kept.size())
                continue;
            states += word.size() - shared;
            kept = word;
        }
    }
    if (states >= kDeep)
        throw std::length_error("The exclusion words are too long to be matched together.");
    const auto count = static_cast<std::uint32_t>(states);
    m_label.assign(count, 0);
    m_match.resize(count);
    m_isDense.resize(count);
    m_branch.resize(count);
    m_hasFail.resize(count);
    {
        // The current path as runs of consecutive numbers: the state at
        // depth d of a run starting at {depth, id} is id + d - depth.
        struct Run
        {
            std::size_t depth;
            std::uint32_t id;
        };
        std::vector<Run> path{{0, 0}};
        struct Edge
        {
            std::uint32_t parent, child;
        };
        std::vector<Edge> extra;   // children after the first, which is parent + 1
        std::u16string_view kept;
        std::uint32_t next = 1;
        for (std::u16string_view word : words) {
            const std::size_t shared = commonPrefix(kept, word);
            if (!kept.empty() && shared == kept.size())
                continue;
            while (path.back().depth > shared)
                path.pop_back();
            const std::uint32_t parent = path.back().id + static_cast<std::uint32_t>(shared - path.back().depth);
            if (!kept.empty())
                extra.push_back({parent, next});
            path.push_back({shared + 1, next});
            for (std::size_t d = shared; d < word.size(); ++d)
                m_label[next++] = classOf[word[d]];
            m_match.set(next - 1);
            kept = word;
        }
        std::stable_sort(extra.begin(), extra.end(),
                         [](const Edge &a, const Edge &b) { return a.parent < b.parent; });
        for (std::size_t i = 0; i < extra.size(); ++i) {
            const std::uint32_t parent = extra[i].parent;
            if (i == 0 || extra[i - 1].parent != parent) {
                m_branch.set(parent);
                m_branchStart.push_back(static_cast<std::uint32_t>(m_branchChild.size()));
                m_branchChild.push_back(parent + 1);
            }
            m_branchChild.push_back(extra[i].child);
        }
        m_branchStart.push_back(static_cast<std::uint32_t>(m_branchChild.size()));
        m_branch.finishRanks();
    }
    // The trie holds everything the rest needs of the words.
    classOf = std::vector<std::uint16_t>();
    if (wordsRead)
        wordsRead();

    // Fallbacks level by level (each is shallower than its state, so done
    // by then), kept in full only while building.
    std::vector<std::uint32_t> fail(count, 0);
    std::vector<std::uint32_t> denseOrder{0};   // dense states, shallower first
    m_isDense.set(0);
    bool denseOpen = true;
    struct Step
    {
        std::uint32_t state, parent;
    };
    std::vector<std::uint32_t> level{0};
    std::vector<Step> below;
    auto forEachChild = [&](std::uint32_t id, auto &&visit) {
        if (m_branch.test(id)) {
            const std::uint32_t r = m_branch.rank(id);
            for (std::uint32_t k = m_branchStart[r]; k < m_branchStart[r + 1]; ++k)
                visit(m_branchChild[k]);
        } else if (id + 1 < count) {
            visit(id + 1);
        }
    };
    while (!level.empty()) {
        below.clear();
        for (const std::uint32_t state : level) {
            forEachChild(state, [&](std::uint32_t c) {
                std::uint32_t f = 0;
                if (state != 0) {
                    for (std::uint32_t at = fail[state];; at = fail[at]) {
                        if (const std::uint32_t found = child(at, m_label[c])) {
                            f = found;
                            break;
                        }
                        if (at == 0)
                            break;
                    }
                }
                fail[c] = f;
                // Once a word has ended the line is excluded: what lies below
                // never matters.
                if (m_match.test(c) || m_match.test(f)) {
                    m_match.set(c);
                    return;
                }
                below.push_back({c, state});
            });
        }
        // Shallower first, as far as the budget goes: the last dense level
        // may be dense only in part (its fallbacks are all shallower).
        for (std::size_t k = 0; denseOpen && k < below.size(); ++k) {
            if ((denseOrder.size() + 1) * m_classes > denseEntries) {
                denseOpen = false;
                break;
            }
            m_isDense.set(below[k].state);
            denseOrder.push_back(below[k].state);
        }
        level.clear();
        for (const Step &s : below) {
            level.push_back(s.state);
            if (m_isDense.test(s.state))
                continue;
            // Kept at the top of every chain and now and then along it; and
            // wherever it is not the parent's fallback's child, which would
            // take more than one step to find again.
            bool keep = m_isDense.test(s.parent) || m_branch.test(s.parent) || s.state % kFailEvery == 0;
            if (!keep) {
                const std::uint32_t parentFail = fail[s.parent];
                keep = !m_isDense.test(parentFail) && child(parentFail, m_label[s.state]) != fail[s.state];
            }
            if (keep)
                m_hasFail.set(s.state);
        }
    }
    below = std::vector<Step>();
    level = std::vector<std::uint32_t>();
    m_match.finishRanks();
    m_isDense.finishRanks();
    m_hasFail.finishRanks();

    // The fallbacks kept for good, and those of the dense states for their
    // rows below; then the full list goes before the rows are made, the
    // largest table of the build.
    m_storedFail.reserve(m_hasFail.rank(count - 1) + 1);
    const std::vector<std::uint64_t> &keptBits = m_hasFail.words();
    for (std::size_t w = 0; w < keptBits.size(); ++w)
        for (std::uint64_t bits = keptBits[w]; bits; bits &= bits - 1)
            m_storedFail.push_back(fail[w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))]);
    std::vector<std::uint32_t> denseFail(denseOrder.size());
    for (std::size_t k = 0; k < denseOrder.size(); ++k)
        denseFail[k] = fail[denseOrder[k]];
    fail = std::vector<std::uint32_t>();

    // Dense rows: a row starts as its fallback's (which is shallower, so
    // done already) and takes its own children.
    m_denseStates = static_cast<std::uint32_t>(denseOrder.size());
    m_denseId.assign(m_denseStates, 0);
    m_dense.assign(std::size_t{m_denseStates} * m_classes, kRoot);
    for (std::size_t k = 0; k < denseOrder.size(); ++k) {
        const std::uint32_t state = denseOrder[k];
        m_denseId[denseRow(state)] = state;
        State *row = m_dense.data() + std::size_t{denseRow(state)} * m_classes;
        if (state > 0)
            std::copy_n(m_dense.data() + std::size_t{denseRow(denseFail[k])} * m_classes, m_classes, row);
        forEachChild(state, [&](std::uint32_t c) { row[m_label[c]] = encode(c); });
    }
}

std::uint32_t WordAutomaton::child(std::uint32_t id, std::uint16_t label) const
{
    if (!m_branch.test(id)) {
        const std::uint32_t only = id + 1;
        return only < m_label.size() && m_label[only] == label ? only : 0;
    }
    const std::uint32_t r = m_branch.rank(id);
    const auto begin = m_branchChild.begin() + m_branchStart[r];
    const auto end = m_branchChild.begin() + m_branchStart[r + 1];
    const auto at = std::lower_bound(begin, end, label,
                                     [this](std::uint32_t c, std::uint16_t l) { return m_label[c] < l; });
    return at != end && m_label[*at] == label ? *at : 0;
}

std::uint32_t WordAutomaton::fallback(std::uint32_t id) const
{
    // Not kept: up the chain (a state without a kept fallback is its
    // parent's only child, numbered right after it) to one that is, and
    // down again, one child or dense row a step.
    std::uint32_t from = id;
    while (!m_hasFail.test(from))
        --from;
    std::uint32_t f = m_storedFail[m_hasFail.rank(from)];
    for (std::uint32_t s = from + 1; s <= id; ++s) {
        if (m_isDense.test(f)) {
            const State to = m_dense[std::size_t{denseRow(f)} * m_classes + m_label[s]];
            f = to < kDeep ? m_denseId[to / m_classes] : to & ~kDeep;
        } else {
            f = child(f, m_label[s]);
        }
    }
    return f;
}

WordAutomaton::State WordAutomaton::encode(std::uint32_t id) const
{
    if (m_match.test(id))
        return kMatch;
    return m_isDense.test(id) ? denseRow(id) * m_classes : kDeep | id;
}

WordAutomaton::State WordAutomaton::deepNext(std::uint32_t id, std::uint16_t unitClass) const
{
    // Each fallback is shallower; the root's row is dense, so this ends.
    for (;;) {
        if (const std::uint32_t c = child(id, unitClass))
            return encode(c);
        id = fallback(id);
        if (m_isDense.test(id))
            return m_dense[std::size_t{denseRow(id)} * m_classes + unitClass];
    }
}

std::size_t WordAutomaton::memoryBytes() const
{
    return m_unitClass.capacity() * sizeof(std::uint16_t) + m_dense.capacity() * sizeof(State)
        + m_denseId.capacity() * sizeof(std::uint32_t) + m_label.capacity() * sizeof(std::uint16_t)
        + m_match.memoryBytes() + m_isDense.memoryBytes() + m_branch.memoryBytes() + m_hasFail.memoryBytes()
        + (m_branchStart.capacity() + m_branchChild.capacity() + m_storedFail.capacity()) * sizeof(std::uint32_t);
}

} // namespace brinmoor::counting
