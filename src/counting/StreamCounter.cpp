#include "StreamCounter.h"

#include "kernels/MaskMath.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace brinmoor::counting {

namespace {

constexpr std::size_t kSlack = 64;   // the kernels read up to 63 bytes past the data

bool isBreak(unsigned char b)
{
    return b == '\r' || b == '\n';
}

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

QStringDecoder decoderFor(QStringConverter::Encoding encoding)
{
    // A BOM past the start of the file is text (U+FEFF), never dropped.
    // Stateless: the caller cuts the bytes between characters itself.
    return QStringDecoder(encoding, QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
}

// Where UTF-8 bytes can be cut so that no sequence is split: before a lead
// byte among the last three whose sequence is not complete yet.
qsizetype utf8Cut(const QByteArray &bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto b = static_cast<unsigned char>(bytes[size - back]);
        if (b < 0x80)
            return size;
        if (b < 0xC0)
            continue;   // continuation byte
        const qsizetype length = b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 1;
        return length > back ? size - back : size;
    }
    return size;
}

// The same for UTF-16: never after an odd byte or a high surrogate.
qsizetype utf16Cut(const QByteArray &bytes, bool littleEndian)
{
    qsizetype cut = bytes.size() & ~qsizetype{1};
    if (cut >= 2) {
        const auto hi = static_cast<unsigned char>(bytes[cut - (littleEndian ? 1 : 2)]);
        if (hi >= 0xD8 && hi <= 0xDB)
            cut -= 2;
    }
    return cut;
}

// One spare read buffer per thread. A counter borrows it when it is large
// enough and hands its own buffer back when it ends.
struct SpareBuffer
{
    std::unique_ptr<unsigned char[]> data;
    std::size_t size = 0;
};
thread_local SpareBuffer t_spare;

} // namespace

StreamCounter::StreamCounter(const kernels::Kernel &kernel, std::size_t blockSize, Start start)
    : m_kernel(kernel)
    , m_blockSize(std::max<std::size_t>(blockSize, 64))
    , m_start(start)
    , m_decoder(decoderFor(QStringConverter::System))
{
}

StreamCounter::~StreamCounter()
{
    if (m_bufferSize > t_spare.size) {
        t_spare.data = std::move(m_buffer);
        t_spare.size = m_bufferSize;
    }
}

void StreamCounter::useOptions(std::shared_ptr<const PreparedOptions> options)
{
    if (options == m_options)
        return;
    m_options = std::move(options);
    m_words = &m_options->automaton();
    m_needles.clear();
    for (const AsciiNeedle &word : m_options->asciiNeedles())
        m_needles.push_back(needleFor(word));
    m_prefilter = m_options->usesPrefilter();
    m_asciiWordsOnly = m_options->asciiWordsOnly();
    // A state of the old automaton means nothing to the new one: the new
    // words are looked for from this block on.
    m_state = WordAutomaton::kRoot;
    m_scanned = 0;
    m_matcher.restart();
    if (m_buffer)
        return;

    // The look-behind holds what the kernels read before p, and what the
    // prefilter's words (no longer than it) need before a candidate.
    m_pad = kernels::kLookBehind;
    const std::size_t size = m_pad + m_blockSize + kSlack;
    if (t_spare.data && t_spare.size >= size) {
        m_buffer = std::move(t_spare.data);
        m_bufferSize = std::exchange(t_spare.size, 0);
    } else {
        // Left uninitialised: the block is read into before it is looked
        // at, and the kernels ignore the slack's values.
        m_buffer.reset(new unsigned char[size]);
        m_bufferSize = size;
    }
    // Before the stream starts the look-behind holds line feeds.
    std::memset(m_buffer.get(), '\n', m_pad);
}

void StreamCounter::keepLookBehind(std::size_t n)
{
    // The last m_pad bytes of the stream move in front of the next block;
    // when the block was short they include older look-behind bytes.
    std::memmove(m_buffer.get(), m_buffer.get() + n, m_pad);
}

FileCount StreamCounter::run(ByteSource &source, const OptionsSource &options, const std::atomic<bool> *cancel,
                             const std::function<void(std::uint64_t)> &progress)
{
    bool first = true;
    m_trackPassed = bool(progress);
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return {false, true, 0, {}};
        std::shared_ptr<const PreparedOptions> prepared = options.currentUnless(cancel);
        if (!prepared)
            return {false, true, 0, {}};
        useOptions(std::move(prepared));

        std::size_t n = 0;
        for (;;) {
            const std::int64_t got = source.read(reinterpret_cast<char *>(data()) + n,
                                                 static_cast<std::int64_t>(m_blockSize - n));
            if (got < 0)
                return {false, false, 0, source.errorString()};
            n += static_cast<std::size_t>(got);
            // The byte-order mark needs the first three bytes, whatever the read sizes.
            if (got == 0 || !first || m_start != Start::FileStart || n >= 3)
                break;
        }
        if (n == 0)
            break;

        if (first && m_start == Start::FileStart) {
            const std::size_t skip = takeByteOrderMark(data(), n);
            // Drop the mark so the look-behind never sees it.
            std::memmove(data(), data() + skip, n - skip);
            n -= skip;
        }
        first = false;

        if (m_encoding == Encoding::Bytes) {
            countBytes(data(), n);
            if (n > 0)
                m_lastByte = data()[n - 1];
            keepLookBehind(n);
        } else {
            countText(reinterpret_cast<const char *>(data()), n);
        }
        if (progress)
            progress(m_linesPassed);
    }

    if (m_encoding == Encoding::Bytes)
        finishBytes();
    else
        finishText();
    if (progress)
        progress(m_linesPassed);
    return {true, false, m_lines, {}};
}

FileCount StreamCounter::runInPlace(unsigned char *p, std::size_t n, const OptionsSource &options,
                                    const std::atomic<bool> *cancel,
                                    const std::function<void(std::uint64_t)> &progress)
{
    m_trackPassed = bool(progress);
    std::shared_ptr<const PreparedOptions> prepared = options.currentUnless(cancel);
    if (!prepared)
        return {false, true, 0, {}};
    useOptions(std::move(prepared));
    // The whole stream is one block: what lies before it is the start.
    std::memset(p - kernels::kLookBehind, '\n', kernels::kLookBehind);
    if (m_start == Start::FileStart) {
        const std::size_t skip = takeByteOrderMark(p, n);
        std::memset(p, '\n', skip);   // the look-behind never sees the mark
        p += skip;
        n -= skip;
    }
    if (m_encoding == Encoding::Bytes) {
        countBytes(p, n);
        if (n > 0)
            m_lastByte = p[n - 1];
        finishBytes();
    } else {
        countText(reinterpret_cast<const char *>(p), n);
        finishText();
    }
    if (progress)
        progress(m_linesPassed);
    return {true, false, m_lines, {}};
}

std::size_t StreamCounter::takeByteOrderMark(const unsigned char *d, std::size_t n)
{
    if (n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF)
        return 3;
    if (n >= 2 && d[0] == 0xFF && d[1] == 0xFE) {
        m_encoding = Encoding::Utf16LE;
        m_decoder = decoderFor(QStringConverter::Utf16LE);
        return 2;
    }
    if (n >= 2 && d[0] == 0xFE && d[1] == 0xFF) {
        m_encoding = Encoding::Utf16BE;
        m_decoder = decoderFor(QStringConverter::Utf16BE);
        return 2;
    }
    return 0;
}

void StreamCounter::countBytes(const unsigned char *p, std::size_t n)
{
    if (n == 0)
        return;
    if (m_options->hasWords() || m_matched || m_decoding) {
        countBytesWithWords(p, n);
        return;
    }
    if (m_options->excludeBlank()) {
        m_lines += m_kernel.countNonBlankEnds(p, n, m_carry);
        if (m_trackPassed)
            m_linesPassed += m_kernel.countEnds(p, n);
        return;
    }
    const std::uint64_t ends = m_kernel.countEnds(p, n);
    m_lines += ends;
    m_linesPassed += ends;
    // Keep the blank state of the open line too, should the option be
    // switched on before the line ends: look back to its start (usually a
    // few bytes) or to the first non-blank byte.
    for (std::size_t i = n; i > 0; --i) {
        const unsigned char b = p[i - 1];
        if (isBreak(b)) {
            m_carry = false;
            return;
        }
        if (b != ' ') {
            m_carry = true;
            return;
        }
    }
}

WordAutomaton::State StreamCounter::step(WordAutomaton::State state, unsigned char byte) const
{
    const std::uint16_t c = m_words->byteClasses()[byte];
    return state < WordAutomaton::kDeep ? m_words->dense()[state + c]
                                        : m_words->deepNext(state & ~WordAutomaton::kDeep, c);
}

std::ptrdiff_t StreamCounter::scan(const unsigned char *p, std::ptrdiff_t from, std::ptrdiff_t to)
{
    // Bytes more than the longest word before `to` cannot be part of a word
    // that ends at or after it: start afresh past them.
    const std::ptrdiff_t earliest = to - static_cast<std::ptrdiff_t>(m_options->longestWord());
    if (from < earliest) {
        from = earliest;
        m_state = WordAutomaton::kRoot;
    }
    for (std::ptrdiff_t i = from; i < to; ++i) {
        m_state = step(m_state, p[i]);
        if (m_state == WordAutomaton::kMatch) {
            m_state = WordAutomaton::kRoot;
            m_scanned = i + 1;
            return i;
        }
    }
    m_scanned = to;
    return to;
}

WordAutomaton::State StreamCounter::run(const unsigned char *p, std::size_t from, std::size_t to,
                                        WordAutomaton::State state)
{
    for (std::size_t i = from; i < to; ++i) {
        if (i % 64 == 0)
            m_chunkStates[i / 64] = state;
        state = step(state, p[i]);
        if (state == WordAutomaton::kMatch) {
            m_hits[i / 64] |= std::uint64_t{1} << (i % 64);
            state = WordAutomaton::kRoot;
        }
    }
    return state;
}

void StreamCounter::findMatches(const unsigned char *p, std::size_t n)
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
        while (at < limit && !isBreak(p[at]))
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
    WordAutomaton::State state[kStreams] = {m_state, WordAutomaton::kRoot, WordAutomaton::kRoot, WordAutomaton::kRoot};
    std::size_t rounds = n;
    for (std::size_t k = 0; k < kStreams; ++k) {
        at[k] = std::min((begin[k] + 63) / 64 * 64, begin[k + 1]);
        state[k] = run(p, begin[k], at[k], state[k]);
        rounds = std::min(rounds, (begin[k + 1] - at[k]) / 64);
    }
    const std::uint16_t *classes = m_words->byteClasses();
    const WordAutomaton::State *dense = m_words->dense();
    auto stepAt = [&](std::size_t k, std::size_t i) {
        const std::uint16_t c = classes[p[at[k] + i]];
        const WordAutomaton::State s = state[k];
        state[k] = s < WordAutomaton::kDeep ? dense[s + c] : m_words->deepNext(s & ~WordAutomaton::kDeep, c);
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

WordAutomaton::State StreamCounter::stateBefore(const unsigned char *p, std::size_t pos)
{
    // From the chunk's start as findMatches() went: after a match in an
    // earlier line of the chunk, from the root.
    WordAutomaton::State state = m_chunkStates[pos / 64];
    for (std::size_t i = pos / 64 * 64; i < pos; ++i) {
        state = step(state, p[i]);
        if (state == WordAutomaton::kMatch)
            state = WordAutomaton::kRoot;
    }
    return state;
}

void StreamCounter::beginDecoding(WordAutomaton::State state)
{
    // The automaton goes on from the state the line's ASCII start reached:
    // those bytes are their own UTF-16 units.
    m_matcher.start(state);
    m_pending.clear();
    m_decoding = true;
}

void StreamCounter::decodeInto(const unsigned char *p, std::size_t n, bool lineEnds)
{
    if (m_matcher.matched()) {
        m_pending.clear();
        return;
    }
    QByteArray bytes = m_pending;
    bytes.append(reinterpret_cast<const char *>(p), static_cast<qsizetype>(n));
    m_pending.clear();
    if (!lineEnds) {
        // Keep a character cut by the read for the next piece. Each piece is
        // decoded on its own (the decoder's own state across calls loses the
        // byte after a broken sequence), so pieces must end between characters.
        const qsizetype cut = m_encoding == Encoding::Bytes ? utf8Cut(bytes) : utf16Cut(bytes, m_encoding == Encoding::Utf16LE);
        m_pending = bytes.mid(cut);
        bytes.truncate(cut);
    }
    const QString text = m_decoder.decode(bytes);
    m_matcher.feed(text, *m_words);
    if (lineEnds)
        m_matcher.finish(*m_words);
}

void StreamCounter::countBytesWithWords(const unsigned char *p, std::size_t n)
{
    // Where a word may end: the prefilter's candidates, verified by scan(),
    // or the automaton's own matches, found for the whole block up front.
    if (!m_prefilter)
        findMatches(p, n);
    const bool blankOff = !m_options->excludeBlank();
    std::ptrdiff_t decodeFrom = 0;
    // Masks are made a batch at a time: one kernel call per 4 KiB.
    constexpr std::size_t kBatch = 64;
    kernels::Masks batch[kBatch];
    for (std::size_t w = 0; w < n; w += 64) {
        const std::size_t count = std::min<std::size_t>(64, n - w);
        const unsigned char *q = p + w;
        if (w % (64 * kBatch) == 0)
            m_kernel.masks(q, std::min(n - w, 64 * kBatch), m_needles.data(), m_needles.size(), batch);
        const kernels::Masks &m = batch[w / 64 % kBatch];
        const std::uint64_t ends = kernels::lineEnds(m.lf, m.cr, q[-1] == '\r');
        const std::uint64_t nonBlank = ~(m.lf | m.cr | m.sp) & kernels::validBits(count);
        const std::uint64_t nonBlankEnds = kernels::nonBlankEnds(ends, nonBlank, m_carry);
        const std::uint64_t counted = blankOff ? ends : nonBlankEnds;
        m_lines += static_cast<std::uint64_t>(std::popcount(counted));
        m_linesPassed += static_cast<std::uint64_t>(std::popcount(ends));

        // With ASCII words only, a line with other bytes still goes by bytes,
        // unless it holds U+017F or U+212A (they fold to s and k).
        std::uint64_t decodeAt = m_asciiWordsOnly ? m.suspects : m.high;
        const std::uint64_t hits = m_prefilter ? m.candidates : m_hits[w / 64];
        if (!m_matched && !m_decoding && (hits | decodeAt) == 0)
            continue;
        // Walk this chunk's events in byte order. Lines already counted
        // above are taken back when a word excludes them.
        const auto base = static_cast<std::ptrdiff_t>(w);
        const auto stop = base + static_cast<std::ptrdiff_t>(count);
        for (std::ptrdiff_t i = base; i < stop;) {
            const std::uint64_t ahead = ~kernels::validBits(static_cast<std::size_t>(i - base));
            if (m_matched || m_decoding) {
                // Only the line's end matters now.
                const std::uint64_t end = ends & ahead;
                if (!end)
                    break;
                const std::ptrdiff_t pos = base + std::countr_zero(end);
                if (m_decoding)
                    decodeInto(p + decodeFrom, static_cast<std::size_t>(pos - decodeFrom), true);
                const bool matched = m_decoding ? m_matcher.matched() : m_matched;
                if (matched && (counted >> (pos - base) & 1))
                    --m_lines;
                m_matched = false;
                m_decoding = false;
                if (m_prefilter) {
                    // Past what the line held: a word found there again would
                    // be taken for one in the next line.
                    m_state = WordAutomaton::kRoot;
                    m_scanned = pos + 1;
                }
                i = pos + 1;
                continue;
            }
            const std::uint64_t hitNext = hits & ahead;
            const std::uint64_t decodeNext = decodeAt & ahead;
            const std::ptrdiff_t hitPos = hitNext ? base + std::countr_zero(hitNext) : stop;
            const std::ptrdiff_t decodePos = decodeNext ? base + std::countr_zero(decodeNext) : stop;
            if (hitPos < decodePos) {
                const std::ptrdiff_t end = m_prefilter ? scan(p, m_scanned, hitPos + 1) : hitPos;
                m_matched = end <= hitPos;
                i = std::min(end, hitPos) + 1;
            } else if (!decodeNext) {
                break;
            } else if (!m_asciiWordsOnly || foldsToAscii(p + decodePos, n - static_cast<std::size_t>(decodePos))) {
                const WordAutomaton::State state = m_prefilter
                    ? (scan(p, m_scanned, decodePos), m_state)
                    : stateBefore(p, static_cast<std::size_t>(decodePos));
                beginDecoding(state);
                decodeFrom = decodePos;
                i = decodePos + 1;
            } else {
                // It folds to a character no word holds: the automaton
                // takes it as a byte of class 0, as it did already.
                decodeAt &= ~(std::uint64_t{1} << (decodePos - base));
            }
        }
    }
    if (m_decoding)
        decodeInto(p + decodeFrom, n - static_cast<std::size_t>(decodeFrom), false);
    // Relative to the next block; far enough back is as good as anywhere.
    m_scanned = std::max(m_scanned - static_cast<std::ptrdiff_t>(n),
                         -static_cast<std::ptrdiff_t>(kernels::kLookBehind) - 1);
}

void StreamCounter::finishBytes()
{
    const bool counted = m_options->excludeBlank() ? m_carry : !isBreak(m_lastByte);
    bool matched = m_matched;
    if (m_decoding) {
        decodeInto(nullptr, 0, true);
        matched = m_matcher.matched();
    }
    if (counted && !matched)
        ++m_lines;
}

// UTF-16 files: decoded whole, one character at a time. Correct rather than fast.
void StreamCounter::countText(const char *p, std::size_t n)
{
    QByteArray bytes = m_pending;
    bytes.append(p, static_cast<qsizetype>(n));
    const qsizetype cut = utf16Cut(bytes, m_encoding == Encoding::Utf16LE);
    m_pending = bytes.mid(cut);
    bytes.truncate(cut);
    countChars(m_decoder.decode(bytes));
}

void StreamCounter::countChars(const QString &text)
{
    const bool words = m_options->hasWords();
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r' || c == u'\n') {
            const bool pairedLf = c == u'\n' && m_textCr;
            m_textCr = c == u'\r';
            if (words)
                m_matcher.feed(QStringView(text).mid(pieceStart, i - pieceStart), *m_words);
            pieceStart = i + 1;
            if (!pairedLf)
                endTextLine();
            continue;
        }
        m_textCr = false;
        m_textContent = true;
        if (c != u' ')
            m_carry = true;
    }
    if (words)
        m_matcher.feed(QStringView(text).mid(pieceStart), *m_words);
}

void StreamCounter::endTextLine()
{
    m_matcher.finish(*m_words);
    const bool counted = m_options->excludeBlank() ? m_carry : true;
    if (counted && !m_matcher.matched())
        ++m_lines;
    ++m_linesPassed;
    m_matcher.start();
    m_carry = false;
    m_textContent = false;
}

void StreamCounter::finishText()
{
    // A lone high surrogate at the end stays as it is; an odd byte is a
    // broken character.
    if (!m_pending.isEmpty()) {
        QString rest = m_decoder.decode(m_pending.left(m_pending.size() & ~qsizetype{1}));
        if (m_pending.size() % 2)
            rest.append(QChar::ReplacementCharacter);
        countChars(rest);
    }
    if (m_textContent)
        endTextLine();
}

} // namespace brinmoor::counting
