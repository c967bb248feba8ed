#include "WordPath.h"

#include "AutomatonFinder.h"
#include "PrefilterFinder.h"
#include "TextDecoding.h"
#include "kernels/MaskMath.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace brinmoor::counting {

namespace {

// Whether the bytes at p start U+017F (C5 BF) or U+212A (E2 84 AA); when the
// read ends before the sequence does, assume they do (the decoded path is
// always right, only slower).
bool foldsToAscii(const unsigned char *p, std::size_t available)
{
    static constexpr unsigned char longS[] = {0xC5, 0xBF};
    static constexpr unsigned char kelvin[] = {0xE2, 0x84, 0xAA};
    auto startsWith = [&](const unsigned char *seq, std::size_t length) {
        return std::memcmp(p, seq, std::min(length, available)) == 0;
    };
    return startsWith(longS, sizeof longS) || startsWith(kelvin, sizeof kelvin);
}

// Finder tells where words end (see PrefilterFinder and AutomatonFinder);
// the walk over a block's lines is the same for both.
template <class Finder>
class WordPath final : public CountingPath
{
public:
    WordPath(const kernels::Kernel &kernel, const PreparedOptions &options, OpenLine &line)
        : m_kernel(kernel)
        , m_words(options.automaton())
        , m_excludeBlank(options.excludeBlank())
        , m_asciiWordsOnly(options.asciiWordsOnly())
        , m_line(line)
        , m_finder(options)
        , m_decoder(decoderFor(QStringConverter::System))
    {
    }

    void count(const unsigned char *p, std::size_t n) override;
    void finish() override;

private:
    void beginDecoding(WordAutomaton::State state);
    void decodeInto(const unsigned char *p, std::size_t n, bool lineEnds);

    const kernels::Kernel &m_kernel;
    const WordAutomaton &m_words;
    const bool m_excludeBlank;
    // Every word is ASCII: most non-ASCII lines can go by bytes.
    const bool m_asciiWordsOnly;
    OpenLine &m_line;
    Finder m_finder;
    QStringDecoder m_decoder;
};

template <class Finder>
void WordPath<Finder>::beginDecoding(WordAutomaton::State state)
{
    // The automaton goes on from the state the line's ASCII start reached:
    // those bytes are their own UTF-16 units.
    m_line.matcher.start(state);
    m_line.pending.clear();
    m_line.words = LineWords::Decoding;
}

template <class Finder>
void WordPath<Finder>::decodeInto(const unsigned char *p, std::size_t n, bool lineEnds)
{
    if (m_line.matcher.matched()) {
        m_line.pending.clear();
        return;
    }
    QByteArray bytes = m_line.pending;
    bytes.append(reinterpret_cast<const char *>(p), static_cast<qsizetype>(n));
    m_line.pending.clear();
    if (!lineEnds) {
        // Keep a character cut by the read for the next piece. Each piece is
        // decoded on its own (the decoder's own state across calls loses the
        // byte after a broken sequence), so pieces must end between characters.
        const qsizetype cut = utf8Cut(bytes);
        m_line.pending = bytes.mid(cut);
        bytes.truncate(cut);
    }
    const QString text = m_decoder.decode(bytes);
    m_line.matcher.feed(text, m_words);
    if (lineEnds)
        m_line.matcher.finish(m_words);
}

template <class Finder>
void WordPath<Finder>::count(const unsigned char *p, std::size_t n)
{
    if (n == 0)
        return;
    m_line.last = p[n - 1];
    m_finder.beginBlock(p, n);
    std::ptrdiff_t decodeFrom = 0;
    // Masks are made a batch at a time: one kernel call per 4 KiB.
    constexpr std::size_t kBatch = 64;
    kernels::Masks batch[kBatch];
    for (std::size_t w = 0; w < n; w += 64) {
        const std::size_t count = std::min<std::size_t>(64, n - w);
        const unsigned char *q = p + w;
        if (w % (64 * kBatch) == 0)
            m_kernel.masks(q, std::min(n - w, 64 * kBatch), m_finder.needles(), m_finder.needleCount(), batch);
        const kernels::Masks &m = batch[w / 64 % kBatch];
        const std::uint64_t ends = kernels::lineEnds(m.lf, m.cr, q[-1] == '\r');
        const std::uint64_t nonBlank = ~(m.lf | m.cr | m.sp) & kernels::validBits(count);
        const std::uint64_t nonBlankEnds = kernels::nonBlankEnds(ends, nonBlank, m_line.nonBlank);
        const std::uint64_t counted = m_excludeBlank ? nonBlankEnds : ends;
        m_tally.lines += static_cast<std::uint64_t>(std::popcount(counted));
        m_tally.passed += static_cast<std::uint64_t>(std::popcount(ends));

        // With ASCII words only, a line with other bytes still goes by bytes,
        // unless it holds U+017F or U+212A (they fold to s and k).
        std::uint64_t decodeAt = m_asciiWordsOnly ? m.suspects : m.high;
        const std::uint64_t hits = m_finder.hits(m, w / 64);
        if (m_line.words == LineWords::None && (hits | decodeAt) == 0)
            continue;
        // Walk this chunk's events in byte order. Lines already counted
        // above are taken back when a word excludes them.
        const auto base = static_cast<std::ptrdiff_t>(w);
        const auto stop = base + static_cast<std::ptrdiff_t>(count);
        for (std::ptrdiff_t i = base; i < stop;) {
            const std::uint64_t ahead = ~kernels::validBits(static_cast<std::size_t>(i - base));
            if (m_line.words != LineWords::None) {
                // Only the line's end matters now.
                const std::uint64_t end = ends & ahead;
                if (!end)
                    break;
                const std::ptrdiff_t pos = base + std::countr_zero(end);
                bool matched = m_line.words == LineWords::Found;
                if (m_line.words == LineWords::Decoding) {
                    decodeInto(p + decodeFrom, static_cast<std::size_t>(pos - decodeFrom), true);
                    matched = m_line.matcher.matched();
                }
                if (matched && (counted >> (pos - base) & 1))
                    --m_tally.lines;
                m_line.words = LineWords::None;
                m_finder.lineEnded(pos);
                i = pos + 1;
                continue;
            }
            const std::uint64_t hitNext = hits & ahead;
            const std::uint64_t decodeNext = decodeAt & ahead;
            const std::ptrdiff_t hitPos = hitNext ? base + std::countr_zero(hitNext) : stop;
            const std::ptrdiff_t decodePos = decodeNext ? base + std::countr_zero(decodeNext) : stop;
            if (hitPos < decodePos) {
                const std::ptrdiff_t end = m_finder.wordEnd(p, hitPos);
                if (end <= hitPos)
                    m_line.words = LineWords::Found;
                i = std::min(end, hitPos) + 1;
            } else if (!decodeNext) {
                break;
            } else if (!m_asciiWordsOnly || foldsToAscii(p + decodePos, n - static_cast<std::size_t>(decodePos))) {
                beginDecoding(m_finder.stateBefore(p, decodePos));
                decodeFrom = decodePos;
                i = decodePos + 1;
            } else {
                // It folds to a character no word holds: the automaton
                // takes it as a byte of class 0, as it did already.
                decodeAt &= ~(std::uint64_t{1} << (decodePos - base));
            }
        }
    }
    if (m_line.words == LineWords::Decoding)
        decodeInto(p + decodeFrom, n - static_cast<std::size_t>(decodeFrom), false);
    m_finder.endBlock(n);
}

template <class Finder>
void WordPath<Finder>::finish()
{
    const bool counted = m_excludeBlank ? m_line.nonBlank : !isLineBreak(m_line.last);
    bool matched = m_line.words == LineWords::Found;
    if (m_line.words == LineWords::Decoding) {
        decodeInto(nullptr, 0, true);
        matched = m_line.matcher.matched();
    }
    if (counted && !matched)
        ++m_tally.lines;
}

} // namespace

std::unique_ptr<CountingPath> makePrefilterPath(const kernels::Kernel &kernel, const PreparedOptions &options,
                                                OpenLine &line)
{
    return std::make_unique<WordPath<PrefilterFinder>>(kernel, options, line);
}

std::unique_ptr<CountingPath> makeAutomatonPath(const kernels::Kernel &kernel, const PreparedOptions &options,
                                                OpenLine &line)
{
    return std::make_unique<WordPath<AutomatonFinder>>(kernel, options, line);
}

} // namespace brinmoor::counting
