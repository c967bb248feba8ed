#include "SpreadsheetPresence.h"

#include <QProcess>

namespace brinmoor::exports {

std::optional<QStringList> untitledOpenCommand(const QString &desktopFileId, const QString &commandLine)
{
    if (!desktopFileId.startsWith(QLatin1String("libreoffice"), Qt::CaseInsensitive)
        || !desktopFileId.contains(QLatin1String("calc"), Qt::CaseInsensitive))
        return std::nullopt;
    QStringList command;
    for (const QString &argument : QProcess::splitCommand(commandLine)) {
        // A wrapper that forwards files in place of its markers wants them
        // there; the file goes after -n, so it is opened as it is instead.
        if (argument.startsWith(QLatin1String("@@")))
            return std::nullopt;
        // Field codes (%U, %f, ...) stand for the files given.
        if (!argument.startsWith(u'%'))
            command.append(argument);
    }
    if (command.isEmpty())
        return std::nullopt;
    return command << QStringLiteral("-n");
}

} // namespace brinmoor::exports
