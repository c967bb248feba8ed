#pragma once

#include "LineCounter.h"
#include "PreparedOptions.h"
#include "TextMatcher.h"
#include "kernels/Kernels.h"

#include <QStringDecoder>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace brinmoor::counting {

// Counts one stream of bytes block by block. Holds one read block plus a
// small look-behind, whatever the file and line length. One instance per
// stream and thread.
class StreamCounter
{
public:
    enum class Start {
        FileStart,      // look for a byte-order mark
        AfterLineFeed,  // the second half of a split file: UTF-8/8-bit, fresh line
    };

    StreamCounter(const kernels::Kernel &kernel, std::size_t blockSize, Start start);
    ~StreamCounter();
    StreamCounter(const StreamCounter &) = delete;
    StreamCounter &operator=(const StreamCounter &) = delete;

    // Reads the source to its end; cancelled when *cancel is set. progress (may be empty) gets the lines
    // passed so far once per block: every line that ended, counted or not,
    // so it is the position of the line being examined.
    FileCount run(ByteSource &source, const OptionsSource &options, const std::atomic<bool> *cancel,
                  const std::function<void(std::uint64_t)> &progress);

    // The same for a stream read whole into memory, counted where it lies:
    // p[-kLookBehind .. -1] must be writable and p[n .. n + 63] readable.
    FileCount runInPlace(unsigned char *p, std::size_t n, const OptionsSource &options, const std::atomic<bool> *cancel,
                         const std::function<void(std::uint64_t)> &progress);

private:
    enum class Encoding { Bytes, Utf16LE, Utf16BE };

    // The length of the byte-order mark at d (0 without one); a UTF-16 mark
    // switches the counter to that encoding.
    std::size_t takeByteOrderMark(const unsigned char *d, std::size_t n);

    void useOptions(std::shared_ptr<const PreparedOptions> options);
    unsigned char *data() { return m_buffer.get() + m_pad; }
    void keepLookBehind(std::size_t n);

    void countBytes(const unsigned char *p, std::size_t n);
    void countBytesWithWords(const unsigned char *p, std::size_t n);
    WordAutomaton::State step(WordAutomaton::State state, unsigned char byte) const;
    std::ptrdiff_t scan(const unsigned char *p, std::ptrdiff_t from, std::ptrdiff_t to);
    WordAutomaton::State run(const unsigned char *p, std::size_t from, std::size_t to, WordAutomaton::State state);
    void findMatches(const unsigned char *p, std::size_t n);
    WordAutomaton::State stateBefore(const unsigned char *p, std::size_t pos);
    void beginDecoding(WordAutomaton::State state);
    void decodeInto(const unsigned char *p, std::size_t n, bool lineEnds);
    void finishBytes();

    void countText(const char *p, std::size_t n);
    void countChars(const QString &text);
    void endTextLine();
    void finishText();

    const kernels::Kernel &m_kernel;
    const std::size_t m_blockSize;
    Start m_start;
    Encoding m_encoding = Encoding::Bytes;

    std::shared_ptr<const PreparedOptions> m_options;
    const WordAutomaton *m_words = nullptr;
    std::vector<kernels::Needle> m_needles;
    bool m_prefilter = false;       // the automaton reads only up to the kernels' candidates
    bool m_asciiWordsOnly = true;   // every word is ASCII: most non-ASCII lines can go by bytes
    // Look-behind, block, slack; borrowed from the thread's spare buffer
    // and handed back at the end, so a run over many small files does not
    // allocate a block per file.
    std::unique_ptr<unsigned char[]> m_buffer;
    std::size_t m_bufferSize = 0;
    std::size_t m_pad = 0;

    std::uint64_t m_lines = 0;
    std::uint64_t m_linesPassed = 0;  // every line end, for the progress
    bool m_trackPassed = false;       // someone is watching the progress
    bool m_carry = false;           // the open line holds a non-blank character
    bool m_matched = false;         // the open line holds a word (ASCII path)
    // The automaton's state on the byte path where it stopped reading.
    // With the prefilter it reads up to candidates only and m_scanned is
    // where it stopped: a word ending at a candidate starts at most
    // longestWord() bytes before it. Otherwise findMatches() reads whole
    // blocks and records, per 64 bytes, where words end and the state at
    // the start.
    WordAutomaton::State m_state = WordAutomaton::kRoot;
    std::ptrdiff_t m_scanned = 0;
    std::vector<std::uint64_t> m_hits;
    std::vector<WordAutomaton::State> m_chunkStates;
    bool m_decoding = false;        // the open line holds a byte >= 0x80: decoded path
    unsigned char m_lastByte = '\n';
    bool m_textContent = false;     // UTF-16 only: the open line is not empty
    bool m_textCr = false;          // UTF-16 only: the last character was CR
    QStringDecoder m_decoder;
    QByteArray m_pending;           // the start of a character cut by a read
    TextMatcher m_matcher;
};

} // namespace brinmoor::counting
