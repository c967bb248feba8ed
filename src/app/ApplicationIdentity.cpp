#include "ApplicationIdentity.h"

#include <QGuiApplication>

namespace brinmoor::app {

void setApplicationIdentity()
{
    // Settings live under these two names; changing them loses them.
    QGuiApplication::setOrganizationName(QStringLiteral("Kelmarsh"));
    QGuiApplication::setApplicationName(QStringLiteral("Brinmoor"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopFileName));
}

} // namespace brinmoor::app
