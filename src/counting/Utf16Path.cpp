#include "Utf16Path.h"

#include "TextDecoding.h"

namespace brinmoor::counting {

Utf16Path::Utf16Path(const PreparedOptions &options, bool littleEndian, OpenLine &line)
    : m_options(options)
    , m_littleEndian(littleEndian)
    , m_line(line)
    , m_decoder(decoderFor(littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE))
{
}

void Utf16Path::count(const unsigned char *p, std::size_t n)
{
    QByteArray bytes = m_line.pending;
    bytes.append(reinterpret_cast<const char *>(p), static_cast<qsizetype>(n));
    const qsizetype cut = utf16Cut(bytes, m_littleEndian);
    m_line.pending = bytes.mid(cut);
    bytes.truncate(cut);
    countChars(m_decoder.decode(bytes));
}

void Utf16Path::countChars(const QString &text)
{
    // The open line's blank state in a local: a store through m_line could
    // be a store into the text, so the loop would reload it every character.
    const bool words = m_options.hasWords();
    bool nonBlank = m_line.nonBlank;
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        // Most characters lie above CR: one comparison lets them by.
        if (c <= u'\r' && (c == u'\r' || c == u'\n')) [[unlikely]] {
            const char16_t before = i > 0 ? text.at(i - 1).unicode() : m_line.last;
            if (words)
                m_line.matcher.feed(QStringView(text).mid(pieceStart, i - pieceStart), m_options.automaton());
            pieceStart = i + 1;
            if (c == u'\r' || before != u'\r') {
                endLine(nonBlank);
                nonBlank = false;
            }
            continue;
        }
        if (c != u' ')
            nonBlank = true;
    }
    if (words)
        m_line.matcher.feed(QStringView(text).mid(pieceStart), m_options.automaton());
    if (!text.isEmpty())
        m_line.last = text.back().unicode();
    m_line.nonBlank = nonBlank;
}

void Utf16Path::endLine(bool nonBlank)
{
    m_line.matcher.finish(m_options.automaton());
    const bool counted = m_options.excludeBlank() ? nonBlank : true;
    if (counted && !m_line.matcher.matched())
        ++m_tally.lines;
    ++m_tally.passed;
    m_line.matcher.start();
}

void Utf16Path::finish()
{
    // A lone high surrogate at the end stays as it is; an odd byte is a
    // broken character.
    if (!m_line.pending.isEmpty()) {
        QString rest = m_decoder.decode(m_line.pending.left(m_line.pending.size() & ~qsizetype{1}));
        if (m_line.pending.size() % 2)
            rest.append(QChar::ReplacementCharacter);
        countChars(rest);
    }
    // The open line holds a character.
    if (!isLineBreak(m_line.last))
        endLine(m_line.nonBlank);
}

} // namespace brinmoor::counting
