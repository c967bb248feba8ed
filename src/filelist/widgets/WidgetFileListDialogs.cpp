#include "WidgetFileListDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace brinmoor::filelist {

namespace {

QFileDialog::Options nativeOption(bool native)
{
    return native ? QFileDialog::Options() : QFileDialog::DontUseNativeDialog;
}

} // namespace

WidgetFileListDialogs::WidgetFileListDialogs(QWidget *parent)
    : m_parent(parent)
{
}

void WidgetFileListDialogs::setParent(QWidget *parent)
{
    m_parent = parent;
}

void WidgetFileListDialogs::setUseNativeDialogs(bool native)
{
    m_native = native;
}

FileSelection WidgetFileListDialogs::chooseFiles(const QString &title, const QStringList &filters,
                                                 int &filterIndex)
{
    QString selected = filters.value(filterIndex);
    FileSelection selection;
    // No starting folder: the dialog opens where it was left last.
    selection.paths = QFileDialog::getOpenFileNames(m_parent, title, QString(),
                                                    filters.join(QLatin1String(";;")), &selected,
                                                    nativeOption(m_native));
    if (!selection.paths.isEmpty()) {
        const qsizetype chosen = filters.indexOf(selected);
        if (chosen >= 0)
            filterIndex = int(chosen);
    }
    return selection;
}

QString WidgetFileListDialogs::chooseFolder(const QString &prompt, const QString &startFolder)
{
    const QString start = QFileInfo(startFolder).isDir() ? startFolder : QString();
    return QFileDialog::getExistingDirectory(m_parent, prompt, start,
                                             nativeOption(m_native) | QFileDialog::ShowDirsOnly);
}

QString WidgetFileListDialogs::chooseSaveFile(const QString &title, const QStringList &filters,
                                              int &filterIndex)
{
    QString selected = filters.value(filterIndex);
    // The command asks its own overwrite question, with its own wording.
    const QString path = QFileDialog::getSaveFileName(m_parent, title, QString(),
                                                      filters.join(QLatin1String(";;")), &selected,
                                                      nativeOption(m_native) | QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) {
        const qsizetype chosen = filters.indexOf(selected);
        if (chosen >= 0)
            filterIndex = int(chosen);
    }
    return path;
}

} // namespace brinmoor::filelist
