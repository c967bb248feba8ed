#pragma once

#include "UserDialogs.h"

#include <QPointer>
#include <QWidget>

namespace brinmoor {

// The real boxes: QMessageBox and QInputDialog, modal to the application,
// except the boxes of notify(), which block nothing.
class WidgetDialogs final : public UserDialogs
{
public:
    explicit WidgetDialogs(QWidget *parent = nullptr);
    void setParent(QWidget *parent);

    MessageAnswer message(const QString &title, const QString &text, MessageButtons buttons,
                          MessageIcon icon) override;
    void messageWithDetails(const QString &title, const QString &text, const QString &details,
                            MessageIcon icon) override;
    void notify(const QString &title, const QString &text, const QString &details, MessageIcon icon,
                std::function<void()> closed) override;
    std::optional<QString> input(const QString &prompt, const QString &title,
                                 const QString &defaultText) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace brinmoor
