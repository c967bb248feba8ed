#pragma once

#include <QObject>
#include <QStringList>

class QTimer;

namespace brinmoor {
class TextListModel;
}

namespace brinmoor::app {

// The results list as commands fill and empty it. A run's rows arrive one
// file at a time; they are shown in batches, so a long run does not lay out
// the list again for every single row. GUI thread only.
class ResultRows : public QObject
{
    Q_OBJECT
public:
    ResultRows(TextListModel &model, QObject *parent = nullptr);

    TextListModel &model() const { return m_model; }
    // Shown with the next batch.
    void add(const QString &row);
    // Shows the rows not shown yet at once.
    void flush();
    // Empties the list, rows not shown yet included.
    void clear();
    // Forgets the rows not shown yet; the list keeps what it shows.
    void discardPending() { m_pending.clear(); }

private:
    TextListModel &m_model;
    QStringList m_pending;
    QTimer *m_flush = nullptr;
};

} // namespace brinmoor::app
