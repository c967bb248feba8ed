#include "WidgetDialogs.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>

#include <memory>

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

// A box is as wide as its text, so a short text ("Done.") leaves no room
// for the title, which the title bar then cuts. The width reserves the title
// and what a title bar puts beside it. Window managers draw the title in a
// font of their own, often bold and larger than the box's, beside an icon
// and up to three buttons.
void keepTitleWhole(QMessageBox &box)
{
    QFont titleFont = box.font();
    titleFont.setBold(true);
    if (titleFont.pointSizeF() > 0)
        titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    else
        titleFont.setPixelSize(titleFont.pixelSize() * 5 / 4);
    const QFontMetrics title(titleFont);
    const int control = qMax(28, title.height() * 3 / 2);
    const int barWidth = title.horizontalAdvance(box.windowTitle()) + 4 * control + 32;
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    const QMargins margins = grid->contentsMargins();
    grid->addItem(new QSpacerItem(barWidth - margins.left() - margins.right(), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    return icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
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
    QMessageBox box(boxIcon(icon), title, displayText(text),
                    buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                     : QMessageBox::Ok,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    keepTitleWhole(box);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }
}

void WidgetDialogs::messageWithDetails(const QString &title, const QString &text, const QString &details,
                                       MessageIcon icon)
{
    QMessageBox box(boxIcon(icon), title, displayText(text), QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDetailedText(displayText(details));
    keepTitleWhole(box);
    box.exec();
}

void WidgetDialogs::notify(const QString &title, const QString &text, const QString &details, MessageIcon icon,
                           std::function<void()> closed)
{
    auto *box = new QMessageBox(boxIcon(icon), title, displayText(text), QMessageBox::Ok, m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::NonModal);
    if (!details.isEmpty())
        box->setDetailedText(displayText(details));
    keepTitleWhole(*box);
    // In front of the window, but the window keeps its keyboard: Esc stops
    // the work rather than closing the box.
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    auto pending = std::make_shared<std::function<void()>>(std::move(closed));
    QObject::connect(box, &QDialog::finished, box, [pending] {
        // Once only, whatever else finishes the box.
        if (auto then = std::exchange(*pending, {}))
            then();
    });
    box->show();
    box->raise();
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
