#pragma once

#include "WordAutomaton.h"

#include <QStringView>

namespace brinmoor::counting {

// Looks for the words in one line of decoded text that arrives in pieces.
// Holds the automaton's state across pieces, plus a high surrogate cut off
// by a read, so memory stays the same whatever the line and word lengths.
class TextMatcher
{
public:
    using State = WordAutomaton::State;

    // A new line; the byte path hands over the state its ASCII start reached.
    void start(State state = WordAutomaton::kRoot)
    {
        m_state = state;
        m_hasHeld = false;
    }

    // The words changed mid-line: a state of the old automaton means nothing
    // to the new one, but a word already found stays found.
    void restart()
    {
        if (!matched())
            m_state = WordAutomaton::kRoot;
    }

    bool matched() const { return m_state == WordAutomaton::kMatch; }

    void feed(QStringView piece, const WordAutomaton &words)
    {
        for (QChar c : piece) {
            if (matched())
                return;
            const char16_t unit = c.unicode();
            if (m_hasHeld) {
                m_hasHeld = false;
                if (QChar::isLowSurrogate(unit)) {
                    // Folded as one character, as the words were.
                    const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(m_held, unit));
                    step(QChar::highSurrogate(folded), words);
                    step(QChar::lowSurrogate(folded), words);
                    continue;
                }
                step(m_held, words);
            }
            if (QChar::isHighSurrogate(unit)) {
                m_held = unit;
                m_hasHeld = true;
            } else {
                step(unit, words);
            }
        }
    }

    // The line ended: a high surrogate still held is a character of its own.
    void finish(const WordAutomaton &words)
    {
        if (m_hasHeld && !matched())
            step(m_held, words);
        m_hasHeld = false;
    }

private:
    void step(char16_t unit, const WordAutomaton &words)
    {
        if (!matched())
            m_state = words.next(m_state, words.unitClass(unit));
    }

    State m_state = WordAutomaton::kRoot;
    char16_t m_held = 0;
    bool m_hasHeld = false;
};

} // namespace brinmoor::counting
