#include "ErrorReporter.h"

#include "UserDialogs.h"

namespace brinmoor::app {

ErrorReporter::ErrorReporter(UserDialogs &dialogs)
    : m_dialogs(dialogs)
{
}

void ErrorReporter::report(const Failure &failure)
{
    m_queue.append(failure);
    if (m_showing)
        return;
    m_showing = true;
    while (!m_queue.isEmpty()) {
        const Failure next = m_queue.takeFirst();
        m_dialogs.message(QStringLiteral("Application Error"), errorReportText(next),
                          MessageButtons::Ok, MessageIcon::Warning);
    }
    m_showing = false;
    const auto waiting = std::exchange(m_waiting, {});
    for (const auto &then : waiting)
        then();
}

void ErrorReporter::whenIdle(std::function<void()> then)
{
    if (m_showing)
        m_waiting.append(std::move(then));
    else
        then();
}

} // namespace brinmoor::app
