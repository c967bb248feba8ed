#include "ErrorReport.h"

namespace brinmoor {

QString supportAddress()
{
    return QStringLiteral(BRINMOOR_SUPPORT_EMAIL);
}

QString errorReportText(const Failure &failure, const QString &address)
{
    return failure.description + QStringLiteral("\r\n") + failure.location
        + QStringLiteral("at line ") + QString::number(failure.step)
        + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ")
        + address;
}

} // namespace brinmoor
