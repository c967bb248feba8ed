#include "SystemClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace brinmoor {

namespace {

// Another program may hold the clipboard for a moment; a few immediate
// tries are all it takes to get past that, and many more would only stall
// the window when the clipboard is gone for good.
constexpr int Attempts = 10;

} // namespace

bool SystemClipboard::placeText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        clipboard->setText(text, QClipboard::Clipboard);
        if (clipboard->text(QClipboard::Clipboard) == text)
            return true;
    }
    return false;
}

} // namespace brinmoor
