#pragma once

#include "Summary.h"

#include <QObject>
#include <QTimer>

namespace brinmoor::counting {
class CountRun;
}

namespace brinmoor::app {

// The summary of the last counting run of this session and of the run
// before it, fed by the run's per-file results as they arrive. Keeping up
// costs a hash look-up per file; the views hear of it at most every
// UpdateIntervalMs, so a run of many small files does not redraw them per
// file. GUI thread only.
class RunSummary : public QObject
{
    Q_OBJECT
public:
    static constexpr int UpdateIntervalMs = 250;

    explicit RunSummary(QObject *parent = nullptr);

    // A new run: its summary starts empty, and the one before becomes the
    // previous run when it counted anything.
    void watch(const counting::CountRun &run);

    const summary::Summary &current() const { return m_current; }
    const summary::Summary &previous() const { return m_previous; }
    bool isRunning() const { return m_running; }

signals:
    // The summaries were replaced (a run started): models start over.
    void restarted();
    // Files were added since the last signal, or the run ended.
    void updated();

private:
    void fileCounted(const QString &path, quint64 lines);

    summary::Summary m_current;
    summary::Summary m_previous;
    QTimer m_throttle;
    bool m_running = false;
};

} // namespace brinmoor::app
