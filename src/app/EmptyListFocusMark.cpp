#include "EmptyListFocusMark.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPainter>

namespace brinmoor::app {

EmptyListFocusMark::EmptyListFocusMark(QAbstractItemView *view)
    : QWidget(view->viewport())
    , m_view(view)
{
    setObjectName(view->objectName() + QStringLiteral("FocusMark"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    QAbstractItemModel *model = view->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &EmptyListFocusMark::refresh);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &EmptyListFocusMark::refresh);
    connect(model, &QAbstractItemModel::modelReset, this, &EmptyListFocusMark::refresh);
    refresh();
}

bool EmptyListFocusMark::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::FocusIn || type == QEvent::FocusOut
        || (watched == m_view->viewport() && type == QEvent::Resize))
        refresh();
    return false;
}

void EmptyListFocusMark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DotLine));
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

void EmptyListFocusMark::refresh()
{
    setGeometry(m_view->viewport()->rect());
    setVisible(m_view->hasFocus() && m_view->model()->rowCount() == 0);
}

} // namespace brinmoor::app
