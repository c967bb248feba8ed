#include "Paths.h"

#include <QDir>

namespace brinmoor {

QChar pathSeparator()
{
    return QDir::separator();
}

QString GetFileNameFromPath(const QString &path)
{
    const qsizetype cut = path.lastIndexOf(pathSeparator());
    return cut < 0 ? path : path.mid(cut + 1);
}

} // namespace brinmoor
