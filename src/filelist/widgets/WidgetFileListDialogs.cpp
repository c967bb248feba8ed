#include "WidgetFileListDialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace brinmoor::filelist {

namespace {

QFileDialog::Options nativeOption(bool native)
{
    return native ? QFileDialog::Options() : QFileDialog::DontUseNativeDialog;
}

// "Add File(s)" takes the names the user typed whether or not such files
// exist; its own rules deal with them afterwards. Qt's multi-select dialog
// takes only existing ones: it greys Open out while a typed name does not
// exist, and refuses one with its own "File not found" box.
class TypedNamesFileDialog final : public QFileDialog
{
public:
    TypedNamesFileDialog(QWidget *parent, const QString &title, const QStringList &filters)
        : QFileDialog(parent, title, QString(), filters.join(QLatin1String(";;")))
    {
        // Only Qt's own dialog lets the typed names through.
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::ExistingFiles);
        m_edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (auto *box = findChild<QDialogButtonBox *>(QStringLiteral("buttonBox")))
            m_open = box->button(QDialogButtonBox::Open);
        if (m_edit && m_open)
            m_open->installEventFilter(this);
    }

    QStringList names() const { return m_names; }

    void accept() override
    {
        const QStringList typed = typedNames();
        // A folder among them: the dialog goes into it, as it always does.
        if (typed.isEmpty() || std::any_of(typed.cbegin(), typed.cend(), [](const QString &name) {
                return QFileInfo(name).isDir();
            })) {
            QFileDialog::accept();
            m_names = selectedFiles();
            return;
        }
        m_names = typed;
        QDialog::accept();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_open && event->type() == QEvent::EnabledChange && !m_open->isEnabled()
            && !m_edit->text().trimmed().isEmpty())
            m_open->setEnabled(true);
        return QFileDialog::eventFilter(watched, event);
    }

private:
    // The names in the name field: one name, or several each in double
    // quotes (a quote left out at either end does no harm); relative to the
    // folder shown.
    QStringList typedNames() const
    {
        QStringList names;
        const QString text = m_edit ? m_edit->text().trimmed() : QString();
        for (const QString &part : text.split(u'"')) {
            if (!part.trimmed().isEmpty())
                names.append(part);
        }
        const QDir folder = directory();
        for (QString &name : names)
            name = QDir::cleanPath(folder.absoluteFilePath(name));
        return names;
    }

    QLineEdit *m_edit = nullptr;
    QPushButton *m_open = nullptr;
    QStringList m_names;
};

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
    // No starting folder: the dialog opens where it was left last.
    TypedNamesFileDialog dialog(m_parent, title, filters);
    dialog.selectNameFilter(filters.value(filterIndex));
    FileSelection selection;
    if (dialog.exec() != QDialog::Accepted)
        return selection;
    selection.paths = dialog.names();
    if (!selection.paths.isEmpty()) {
        const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
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
