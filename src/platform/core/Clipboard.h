#pragma once

#include <QString>

namespace brinmoor {

// The desktop's clipboard, behind an interface so that commands never reach
// for the toolkit's global one: the window gets the real clipboard, tests may
// hand in one that refuses. GUI thread only.
class Clipboard
{
public:
    virtual ~Clipboard() = default;

    // Replaces the clipboard's contents with text as plain text. True only
    // when reading the clipboard back gives exactly that text, so a caller
    // never claims a copy that another program took away or refused.
    virtual bool placeText(const QString &text) = 0;
};

} // namespace brinmoor
