#include "RunSummary.h"

#include "CountRun.h"

namespace brinmoor::app {

RunSummary::RunSummary(QObject *parent)
    : QObject(parent)
{
    m_throttle.setSingleShot(true);
    m_throttle.setInterval(UpdateIntervalMs);
    connect(&m_throttle, &QTimer::timeout, this, &RunSummary::updated);
}

void RunSummary::watch(const counting::CountRun &run)
{
    if (!m_current.isEmpty())
        m_previous = std::move(m_current);
    m_current.clear();
    m_running = true;
    connect(&run, &counting::CountRun::fileCounted, this,
            [this](int, const QString &path, quint64 lines) { fileCounted(path, lines); });
    connect(&run, &counting::CountRun::finished, this, [this] {
        m_running = false;
        m_throttle.stop();
        emit updated();
    });
    emit restarted();
}

void RunSummary::fileCounted(const QString &path, quint64 lines)
{
    m_current.add(path, lines);
    if (!m_throttle.isActive())
        m_throttle.start();
}

} // namespace brinmoor::app
