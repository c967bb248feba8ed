#include "SpreadsheetPresence.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace brinmoor::exports {

namespace {

// xdg-mime is a small shell script; if it hangs, the desktop has bigger
// problems than a missing spreadsheet, and the answer is "none".
constexpr int QueryTimeoutMs = 5000;

QString queryDefaultApplication(const QString &mimeType)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!process.waitForStarted(QueryTimeoutMs))
        return {};
    if (!process.waitForFinished(QueryTimeoutMs)) {
        process.kill();
        process.waitForFinished(QueryTimeoutMs);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

} // namespace

namespace {

// The desktop file of that id in the XDG application folders, or "".
QString desktopFilePath(const QString &desktopFileId)
{
    if (desktopFileId.isEmpty() || !desktopFileId.endsWith(QStringLiteral(".desktop"))
        || desktopFileId.contains(u'/'))
        return {};
    // The id "vendor-app.desktop" may live in applications/vendor/app.desktop:
    // any dash may stand for a folder separator. Ids have few dashes; past
    // eight only the flat name and the first eight are tried.
    QList<qsizetype> dashes;
    for (qsizetype i = desktopFileId.indexOf(u'-'); i >= 0 && dashes.size() < 8; i = desktopFileId.indexOf(u'-', i + 1))
        dashes.append(i);
    QStringList candidates;
    for (unsigned mask = 0; mask < (1u << dashes.size()); ++mask) {
        QString relative = desktopFileId;
        for (int bit = 0; bit < dashes.size(); ++bit) {
            if (mask & (1u << bit))
                relative[dashes.at(bit)] = u'/';
        }
        candidates.append(relative);
    }
    for (const QString &relative : candidates) {
        const QString found = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, relative);
        if (!found.isEmpty() && QFileInfo(found).isFile())
            return found;
    }
    return {};
}

QString desktopCommandLine(const QString &desktopFileId)
{
    const QString path = desktopFilePath(desktopFileId);
    if (path.isEmpty())
        return {};
    // The desktop file is an INI file, but QSettings would split an
    // unquoted command line at its commas.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    for (const QString &rawLine : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(u'['))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec=")))
            return line.mid(5);
    }
    return {};
}

} // namespace

bool desktopFileInstalled(const QString &desktopFileId)
{
    return !desktopFilePath(desktopFileId).isEmpty();
}

SpreadsheetProbe systemSpreadsheetProbe()
{
    return SpreadsheetProbe{queryDefaultApplication, desktopFileInstalled, desktopCommandLine};
}

std::optional<QStringList> untitledOpenCommand(const QString &file, const SpreadsheetProbe &probe)
{
    if (!probe.defaultApplication || !probe.commandLine)
        return std::nullopt;
    const QStringList ids =
        probe.defaultApplication(QString::fromLatin1(WorkbookMimeType)).split(u';', Qt::SkipEmptyParts);
    const QString id = ids.isEmpty() ? QString() : ids.first().trimmed();
    if (!id.startsWith(QLatin1String("libreoffice"), Qt::CaseInsensitive)
        || !id.contains(QLatin1String("calc"), Qt::CaseInsensitive))
        return std::nullopt;
    QStringList command;
    for (const QString &argument : QProcess::splitCommand(probe.commandLine(id))) {
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
    return command << QStringLiteral("-n") << file;
}

bool SaveResultsAsExcelFileIsExcelInstalled(const SpreadsheetProbe &probe)
{
    if (!probe.defaultApplication || !probe.applicationInstalled)
        return false;
    // Some desktops answer with a list; any installed entry will do.
    const QStringList ids =
        probe.defaultApplication(QString::fromLatin1(WorkbookMimeType)).split(u';', Qt::SkipEmptyParts);
    for (const QString &id : ids) {
        if (probe.applicationInstalled(id.trimmed()))
            return true;
    }
    return false;
}

} // namespace brinmoor::exports
