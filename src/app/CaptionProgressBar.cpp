#include "CaptionProgressBar.h"

namespace brinmoor::app {

CaptionProgressBar::CaptionProgressBar(QWidget *parent)
    : QProgressBar(parent)
{
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void CaptionProgressBar::setValue(int value)
{
    if (value == this->value())
        return;
    // With updates off QProgressBar's repaint() does nothing; turning them
    // on again schedules an ordinary update for the next paint.
    setUpdatesEnabled(false);
    QProgressBar::setValue(value);
    setUpdatesEnabled(true);
    update();
}

void CaptionProgressBar::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

} // namespace brinmoor::app
