#pragma once

#include "FileListDialogs.h"

#include <QPointer>
#include <QWidget>

namespace brinmoor::filelist {

// The real file and folder dialogs (QFileDialog), modal to parent.
class WidgetFileListDialogs final : public FileListDialogs
{
public:
    explicit WidgetFileListDialogs(QWidget *parent = nullptr);
    void setParent(QWidget *parent);
    // The desktop's own folder and save dialogs where it has them (the
    // default), or Qt's. The open dialog is always Qt's: the desktop's take
    // only names of files that exist.
    void setUseNativeDialogs(bool native);

    FileSelection chooseFiles(const QString &title, const QStringList &filters, int &filterIndex) override;
    QString chooseFolder(const QString &prompt, const QString &startFolder) override;
    QString chooseSaveFile(const QString &title, const QStringList &filters, int &filterIndex) override;

private:
    QPointer<QWidget> m_parent;
    bool m_native = true;
};

} // namespace brinmoor::filelist
