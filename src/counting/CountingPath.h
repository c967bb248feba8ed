#pragma once

#include "TextMatcher.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace brinmoor::counting {

inline bool isLineBreak(char16_t unit)
{
    return unit == u'\r' || unit == u'\n';
}

// What the words know of the open line on the byte path.
enum class LineWords : std::uint8_t {
    None,       // nothing found yet: the bytes are searched as they come
    Found,      // a word was found: only the line's end matters now
    Decoding,   // it holds a byte >= 0x80 that may take part in a word: read through the decoder to its end
};

// The line still open between two blocks. It belongs to the stream, not to
// the path counting it, so a path made for new options goes on with it.
struct OpenLine
{
    char16_t last = u'\n';         // the last byte (UTF-16: unit) so far; a line break when no line is open
    bool nonBlank = false;         // it holds a character other than space
    LineWords words = LineWords::None;
    TextMatcher matcher;           // decoded lines: the words' search
    QByteArray pending;            // decoded lines: the start of a character cut by a read

    // Nothing but a plain path's state left: any path can take it over.
    bool settled() const { return words == LineWords::None; }
};

struct LineTally
{
    std::uint64_t lines = 0;    // lines that count
    std::uint64_t passed = 0;   // every line end, for the progress
};

// One way of counting a stream's blocks, chosen for the file's encoding and
// the options, and made again only when the options change inside the file.
// One instance per stream and thread.
class CountingPath
{
public:
    virtual ~CountingPath() = default;

    // The next block. Byte paths read the kernels' way: p[-kLookBehind .. -1]
    // hold the bytes before p ('\n' before the stream), p[n .. n + 63] are
    // readable.
    virtual void count(const unsigned char *p, std::size_t n) = 0;
    // The stream ended: the open line counts or not.
    virtual void finish() = 0;

    // Since this path was made.
    const LineTally &tally() const { return m_tally; }

protected:
    LineTally m_tally;
};

} // namespace brinmoor::counting
