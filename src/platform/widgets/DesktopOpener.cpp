#include "DesktopOpener.h"

#include <QDesktopServices>

namespace brinmoor {

bool openWithDesktop(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace brinmoor
