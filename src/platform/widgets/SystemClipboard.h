#pragma once

#include "Clipboard.h"

namespace brinmoor {

// The application's clipboard (QGuiApplication::clipboard()). On X11 the
// text stays on offer for as long as the program runs.
class SystemClipboard final : public Clipboard
{
public:
    bool placeText(const QString &text) override;
};

} // namespace brinmoor
