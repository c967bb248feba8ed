#include "ResultRows.h"

namespace brinmoor::counting {

QString fileRow(std::uint64_t lines, const QString &path)
{
    return QString::number(lines) + QStringLiteral(" lines - ") + path;
}

QString totalRow(std::uint64_t total)
{
    return QStringLiteral("Total Lines Counted For All Files: ") + QString::number(total);
}

} // namespace brinmoor::counting
