#include "AddFiles.h"

#include "FileListDialogs.h"
#include "FilePaths.h"
#include "TextListModel.h"
#include "UserDialogs.h"

#include <QDir>

namespace brinmoor::filelist {

QStringList qtFileFilters(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        // The description repeats its patterns in brackets; Qt reads the
        // patterns from there, so they are put back in Qt's form.
        const qsizetype bracket = description.lastIndexOf(QLatin1String(" ("));
        if (bracket >= 0 && description.endsWith(QLatin1Char(')')))
            description.truncate(bracket);
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &pattern : patterns) {
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        filters.append(description + QLatin1String(" (") + patterns.join(QLatin1Char(' '))
                       + QLatin1Char(')'));
    }
    return filters;
}

namespace {

// The selection as the dialog's folder plus one name. A root folder keeps
// its separator (as "C:\" and "/" are shown), so joining it with another
// one doubles it and NormalizeBackslashes takes it out again.
QString joinedAgain(const QString &nativePath)
{
    const QChar separator = QDir::separator();
    const qsizetype cut = nativePath.lastIndexOf(separator);
    if (cut < 0)
        return nativePath;
    QString folder = nativePath.left(cut);
    if (folder.isEmpty() || folder.endsWith(QLatin1Char(':')))
        folder += separator;
    return folder + separator + nativePath.mid(cut + 1);
}

} // namespace

QList<AddFilesStep> planAddedFiles(const QStringList &selection, bool overflow)
{
    using Kind = AddFilesStep::Kind;
    if (overflow)
        return {{Kind::ShowMessage, QString::fromLatin1(TooManyFilesText)}};
    if (selection.size() == 1)
        return {{Kind::AppendRow, QDir::toNativeSeparators(selection.first())}};

    QList<AddFilesStep> steps;
    for (const QString &delivered : selection) {
        const QString path = NormalizeBackslashes(joinedAgain(QDir::toNativeSeparators(delivered)));
        if (!IsUnreadablePath(path))
            steps.append({Kind::AppendRow, path});
        else
            steps.append({Kind::ShowMessage,
                          path + QLatin1String("\r\r") + QString::fromLatin1(BadCharactersText)});
    }
    return steps;
}

int AddFiles(FileListDialogs &fileDialogs, UserDialogs &dialogs, TextListModel &list,
             const QString &title, int &filterIndex)
{
    const FileSelection selection = fileDialogs.chooseFiles(
        QString::fromLatin1(AddFilesTitle), qtFileFilters(QString::fromLatin1(AddFilesFilter)),
        filterIndex);
    // Rows go in as one batch per run between messages (thousands of names
    // can be selected), but always before the message that follows them.
    QStringList pending;
    int appended = 0;
    const auto flush = [&] {
        appended += int(pending.size());
        list.append(pending);
        pending.clear();
    };
    for (const AddFilesStep &step : planAddedFiles(selection.paths, selection.overflow)) {
        if (step.kind == AddFilesStep::Kind::AppendRow) {
            pending.append(step.text);
        } else {
            flush();
            dialogs.message(title, step.text, MessageButtons::Ok, MessageIcon::None);
        }
    }
    flush();
    return appended;
}

} // namespace brinmoor::filelist
