#pragma once

// Shared by the engine tests and the fuzz target: an obviously-correct
// reference counter and byte sources with chosen read sizes.

#include "CountEngine.h"
#include "CountOptions.h"
#include "LineCounter.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace brinmoor::counting::testing {

inline CountOptions opts(bool blank, QStringList words = {})
{
    return CountOptions{blank, std::move(words)};
}

// With its byte-order mark.
inline QByteArray utf16(const QString &text, bool littleEndian)
{
    QStringEncoder encoder(littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return (littleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF")) + QByteArray(encoder.encode(text));
}

// Decodes the whole file at once, cuts it by the line rule and tests every
// line: no blocks, no bit tricks, no shortcuts.
inline std::uint64_t referenceCount(const QByteArray &bytes, const CountOptions &options)
{
    QByteArray body = bytes;
    auto encoding = QStringConverter::System;
    if (body.startsWith("\xEF\xBB\xBF")) {
        body.remove(0, 3);
    } else if (body.startsWith("\xFF\xFE")) {
        body.remove(0, 2);
        encoding = QStringConverter::Utf16LE;
    } else if (body.startsWith("\xFE\xFF")) {
        body.remove(0, 2);
        encoding = QStringConverter::Utf16BE;
    }
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text;
    if (encoding == QStringConverter::System) {
        text = decoder.decode(body);
    } else {
        // An odd byte at the end is a broken character.
        text = decoder.decode(body.left(body.size() & ~qsizetype{1}));
        if (body.size() % 2)
            text.append(QChar::ReplacementCharacter);
    }

    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            lines.append(line);
            line.clear();
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            line.append(text[i]);
        }
    }
    if (!line.isEmpty())
        lines.append(line);

    QStringList words;
    for (QString word : options.excludeWords) {
        while (word.startsWith(u' '))
            word.remove(0, 1);
        while (word.endsWith(u' '))
            word.chop(1);
        if (!word.isEmpty())
            words.append(word.toCaseFolded());
    }

    std::uint64_t counted = 0;
    for (const QString &l : std::as_const(lines)) {
        if (options.excludeBlank && std::all_of(l.begin(), l.end(), [](QChar c) { return c == u' '; }))
            continue;
        const QString folded = l.toCaseFolded();
        if (std::none_of(words.begin(), words.end(), [&](const QString &w) { return folded.contains(w); }))
            ++counted;
    }
    return counted;
}

// Options that never change, or that change after a number of blocks.
class TestOptions final : public OptionsSource
{
public:
    explicit TestOptions(const CountOptions &options, int blocksBeforeChange = -1, const CountOptions &later = {})
        : m_first(prepareOptions(options))
        , m_later(prepareOptions(later))
        , m_blocksBeforeChange(blocksBeforeChange)
    {
    }
    std::shared_ptr<const PreparedOptions> current() const override
    {
        const int call = m_calls++;
        return m_blocksBeforeChange < 0 || call < m_blocksBeforeChange ? m_first : m_later;
    }

private:
    std::shared_ptr<const PreparedOptions> m_first, m_later;
    int m_blocksBeforeChange;
    mutable std::atomic<int> m_calls{0};   // the split path calls from two threads
};

// Bytes from memory in reads of chosen sizes; can fail after a given offset.
class MemorySource final : public ByteSource
{
public:
    using ReadSize = std::function<std::int64_t()>;
    explicit MemorySource(QByteArray bytes, ReadSize readSize = {}, std::int64_t failAt = -1)
        : m_bytes(std::move(bytes))
        , m_readSize(std::move(readSize))
        , m_failAt(failAt)
    {
    }
    std::int64_t read(char *buffer, std::int64_t max) override
    {
        if (m_failAt >= 0 && m_position >= m_failAt)
            return -1;
        std::int64_t n = std::min<std::int64_t>(max, m_bytes.size() - m_position);
        if (m_readSize)
            n = std::min(n, std::max<std::int64_t>(1, m_readSize()));
        if (m_failAt >= 0)
            n = std::min(n, std::max<std::int64_t>(1, m_failAt - m_position));
        std::copy_n(m_bytes.constData() + m_position, n, buffer);
        m_position += n;
        return n;
    }
    QString errorString() const override { return QStringLiteral("Input/output error"); }

private:
    QByteArray m_bytes;
    ReadSize m_readSize;
    std::int64_t m_failAt;
    std::int64_t m_position = 0;
};

inline std::vector<const kernels::Kernel *> allKernels()
{
    return kernels::availableKernels();
}

} // namespace brinmoor::counting::testing
