#include "WordAutomaton.h"

#include <algorithm>

namespace brinmoor::counting {

namespace {

// Dense rows take at most this many entries (16 MiB): ten thousand everyday
// words fit whole; a larger or longer set keeps its deeper states sparse.
constexpr std::size_t kDenseBudget = std::size_t{1} << 22;

char16_t foldedUnit(char16_t unit)
{
    // Simple case folding maps the BMP onto itself and leaves surrogates
    // alone; pairs are folded by the caller as whole characters.
    return QChar::isSurrogate(unit) ? unit : static_cast<char16_t>(QChar::toCaseFolded(char32_t{unit}));
}

} // namespace

WordAutomaton::WordAutomaton()
    : WordAutomaton(std::vector<std::u16string_view>{})
{
}

WordAutomaton::WordAutomaton(const std::vector<std::u16string_view> &words)
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

    // Breadth first: the words below a state share its prefix and form one
    // run of the sorted list, split by their next unit into its children.
    struct Range
    {
        std::uint32_t begin, end;
    };
    std::vector<Range> ranges{{0, static_cast<std::uint32_t>(words.size())}};
    m_label.push_back(0);
    m_fail.push_back(0);
    std::size_t depth = 0;
    std::uint32_t levelEnd = 1;
    for (std::uint32_t state = 0; state < m_label.size(); ++state) {
        if (state == levelEnd) {
            ++depth;
            levelEnd = static_cast<std::uint32_t>(m_label.size());
        }
        m_firstChild.push_back(static_cast<std::uint32_t>(m_label.size()));
        // Once a word has ended the line is excluded: longer words through
        // here never matter. Every word below any other state is longer
        // than the state's depth.
        if (m_fail[state] & kMatchBit)
            continue;
        const Range range = ranges[state];
        for (std::uint32_t k = range.begin; k < range.end;) {
            const char16_t unit = words[k][depth];
            std::uint32_t end = k + 1;
            while (end < range.end && words[end][depth] == unit)
                ++end;
            const std::uint16_t label = classOf[unit];
            // The fallback: the longest proper suffix of this prefix that is a
            // prefix of some word, found through the shallower states, which
            // are complete by now.
            std::uint32_t fail = 0;
            if (state != 0) {
                for (std::uint32_t at = m_fail[state] & ~kMatchBit;; at = m_fail[at] & ~kMatchBit) {
                    if (const std::uint32_t c = child(at, label)) {
                        fail = c;
                        break;
                    }
                    if (at == 0)
                        break;
                }
            }
            // A word sorts before the words it is a prefix of.
            const bool ends = words[k].size() == depth + 1;
            const bool match = ends || (m_fail[fail] & kMatchBit);
            m_label.push_back(label);
            m_fail.push_back(fail | (match ? kMatchBit : 0));
            ranges.push_back({k, end});
            k = end;
        }
    }
    m_firstChild.push_back(static_cast<std::uint32_t>(m_label.size()));
    ranges = {};
    m_label.shrink_to_fit();
    m_fail.shrink_to_fit();
    m_firstChild.shrink_to_fit();

    // Dense rows for the shallowest states: a row starts as its fallback's
    // (which is shallower, so done already) and takes its own children.
    m_denseStates = static_cast<std::uint32_t>(
        std::clamp<std::size_t>(kDenseBudget / m_classes, 1, m_label.size()));
    m_dense.assign(std::size_t{m_denseStates} * m_classes, kRoot);
    for (std::uint32_t state = 0; state < m_denseStates; ++state) {
        State *row = m_dense.data() + std::size_t{state} * m_classes;
        if (state > 0) {
            const std::uint32_t fail = m_fail[state] & ~kMatchBit;
            std::copy_n(m_dense.data() + std::size_t{fail} * m_classes, m_classes, row);
        }
        for (std::uint32_t c = m_firstChild[state]; c < m_firstChild[state + 1]; ++c)
            row[m_label[c]] = encode(c);
    }
}

std::uint32_t WordAutomaton::child(std::uint32_t id, std::uint16_t label) const
{
    const auto begin = m_label.begin() + m_firstChild[id];
    const auto end = m_label.begin() + m_firstChild[id + 1];
    const auto at = std::lower_bound(begin, end, label);
    return at != end && *at == label ? static_cast<std::uint32_t>(at - m_label.begin()) : 0;
}

WordAutomaton::State WordAutomaton::encode(std::uint32_t id) const
{
    if (m_fail[id] & kMatchBit)
        return kMatch;
    return id < m_denseStates ? id * m_classes : kDeep | id;
}

WordAutomaton::State WordAutomaton::deepNext(std::uint32_t id, std::uint16_t unitClass) const
{
    // Each fallback is shallower; the root's row is dense, so this ends.
    for (;;) {
        if (const std::uint32_t c = child(id, unitClass))
            return encode(c);
        id = m_fail[id] & ~kMatchBit;
        if (id < m_denseStates)
            return m_dense[std::size_t{id} * m_classes + unitClass];
    }
}

std::size_t WordAutomaton::memoryBytes() const
{
    return m_unitClass.capacity() * sizeof(std::uint16_t) + m_dense.capacity() * sizeof(State)
        + m_label.capacity() * sizeof(std::uint16_t)
        + (m_firstChild.capacity() + m_fail.capacity()) * sizeof(std::uint32_t);
}

} // namespace brinmoor::counting
