#pragma once

#include <QProgressBar>

namespace brinmoor::app {

// A progress bar that shows a caption of its own instead of a percentage.
// QProgressBar's format would treat "%" in a file name as a placeholder.
class CaptionProgressBar : public QProgressBar
{
    Q_OBJECT
public:
    explicit CaptionProgressBar(QWidget *parent = nullptr);

    void setCaption(const QString &caption);
    // Hides QProgressBar::setValue, which repaints at once for every step.
    // Such a repaint makes the window paint everything else waiting to be
    // painted (a results list that grew by thousands of rows) inside the
    // caller, often just before the event loop paints again anyway.
    void setValue(int value);
    QString caption() const { return m_caption; }
    QString text() const override { return m_caption; }

private:
    QString m_caption;
};

} // namespace brinmoor::app
