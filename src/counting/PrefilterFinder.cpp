#include "PrefilterFinder.h"

namespace brinmoor::counting {

namespace {

kernels::Needle needleFor(const AsciiNeedle &word)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(word.bytes.data());
    const unsigned char first = bytes[0];
    const unsigned char last = bytes[word.bytes.size() - 1];
    // OR-ing 0x20 folds exactly A-Z onto a-z for a letter; any other byte
    // must compare as it is.
    auto orFor = [](unsigned char c) -> unsigned char { return c >= 'a' && c <= 'z' ? 0x20 : 0; };
    return {bytes, static_cast<std::uint32_t>(word.bytes.size()), first, orFor(first), last, orFor(last)};
}

} // namespace

PrefilterFinder::PrefilterFinder(const PreparedOptions &options)
    : m_words(options.automaton())
    , m_longestWord(static_cast<std::ptrdiff_t>(options.longestWord()))
{
    for (const AsciiNeedle &word : options.asciiNeedles())
        m_needles.push_back(needleFor(word));
}

} // namespace brinmoor::counting
