#include "ExportTexts.h"

namespace brinmoor::exports {

QString overwriteQuestion(const QString &path)
{
    return QStringLiteral("Are you sure you wish to overwrite ") + path + QStringLiteral(" ?");
}

QString writingFileCaption(const QString &fileName)
{
    return QStringLiteral("Writing file: ") + fileName;
}

QString writingFileCaption(const QString &fileName, int rowPosition)
{
    return writingFileCaption(fileName) + QStringLiteral(" (") + QString::number(rowPosition) + u')';
}

} // namespace brinmoor::exports
