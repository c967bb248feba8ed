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

    FileSelection chooseFiles(const QString &title, const QStringList &filters, int &filterIndex) override;
    QString chooseFolder(const QString &prompt, const QString &startFolder) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace brinmoor::filelist
