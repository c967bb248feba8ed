#pragma once

#include "PreparedOptions.h"

#include <QString>
#include <QStringView>

namespace brinmoor::counting {

// Looks for the folded words in one line of decoded text that arrives in
// pieces. Memory stays bounded whatever the line length: across pieces only
// the last tailLength() folded units are kept, plus whether a word was found.
class TextMatcher
{
public:
    void reset(const QString &foldedTail = {})
    {
        m_tail = foldedTail;
        m_held = QChar();
        m_hasHeld = false;
        m_matched = false;
    }

    bool matched() const { return m_matched; }

    void feed(QStringView piece, const PreparedOptions &options)
    {
        if (m_matched || piece.isEmpty())
            return;
        QString text;
        text.reserve(piece.size() + 1);
        if (m_hasHeld)
            text.append(m_held);
        text.append(piece);
        m_hasHeld = false;
        // A surrogate pair cut by a read is folded whole with the next piece.
        if (text.back().isHighSurrogate()) {
            m_held = text.back();
            m_hasHeld = true;
            text.chop(1);
        }
        search(text.toCaseFolded(), options);
    }

    // The line ended: whatever was held back is part of it.
    void finish(const PreparedOptions &options)
    {
        if (m_hasHeld && !m_matched)
            search(QString(m_held).toCaseFolded(), options);
        m_hasHeld = false;
    }

private:
    void search(const QString &folded, const PreparedOptions &options)
    {
        const QString text = m_tail + folded;
        for (const QString &word : options.foldedWords()) {
            if (text.contains(word)) {
                m_matched = true;
                return;
            }
        }
        m_tail = text.right(options.tailLength());
    }

    QString m_tail;
    QChar m_held;
    bool m_hasHeld = false;
    bool m_matched = false;
};

} // namespace brinmoor::counting
