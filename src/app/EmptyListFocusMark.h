#pragma once

#include <QWidget>

class QAbstractItemView;

namespace brinmoor::app {

// An empty list has no row to carry the focus rectangle, so a list that
// takes the keyboard with nothing in it is framed instead. Lies over the
// list's viewport and lets the mouse through.
class EmptyListFocusMark final : public QWidget
{
public:
    explicit EmptyListFocusMark(QAbstractItemView *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *) override;

private:
    void refresh();

    QAbstractItemView *m_view;
};

} // namespace brinmoor::app
