#include "SpreadsheetPresence.h"

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

bool desktopFileInstalled(const QString &desktopFileId)
{
    if (desktopFileId.isEmpty() || !desktopFileId.endsWith(QStringLiteral(".desktop"))
        || desktopFileId.contains(u'/'))
        return false;
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
            return true;
    }
    return false;
}

SpreadsheetProbe systemSpreadsheetProbe()
{
    return SpreadsheetProbe{queryDefaultApplication, desktopFileInstalled};
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
