#include "WidgetDialogs.h"

#include <QInputDialog>
#include <QMessageBox>

namespace brinmoor {

namespace {

// The program's texts break lines with lone CRs, which Qt's plain-text
// labels do not treat as breaks.
QString displayText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

WidgetDialogs::WidgetDialogs(QWidget *parent)
    : m_parent(parent)
{
}

void WidgetDialogs::setParent(QWidget *parent)
{
    m_parent = parent;
}

MessageAnswer WidgetDialogs::message(const QString &title, const QString &text,
                                     MessageButtons buttons, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title, displayText(text),
                    buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                     : QMessageBox::Ok,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }
}

std::optional<QString> WidgetDialogs::input(const QString &prompt, const QString &title,
                                            const QString &defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, title, displayText(prompt),
                                               QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

} // namespace brinmoor
