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
    QString caption() const { return m_caption; }
    QString text() const override { return m_caption; }

private:
    QString m_caption;
};

} // namespace brinmoor::app
