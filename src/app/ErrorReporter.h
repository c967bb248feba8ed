#pragma once

#include "ErrorReport.h"

#include <QList>

#include <functional>

namespace brinmoor {
class UserDialogs;
}

namespace brinmoor::app {

// Shows every failure in the "Application Error" box. GUI thread only.
//
// The box runs a nested event loop, in which more failures can arrive (a
// run reports its files while the first box is open). Those wait in a queue
// and are shown one after the other, never as boxes stacked inside boxes.
class ErrorReporter final : public FailureSink
{
public:
    explicit ErrorReporter(UserDialogs &dialogs);

    void report(const Failure &failure) override;

    bool isShowing() const { return m_showing; }
    // Runs then() at once when no box is open, otherwise after the last one
    // closes.
    void whenIdle(std::function<void()> then);

private:
    UserDialogs &m_dialogs;
    QList<Failure> m_queue;
    QList<std::function<void()>> m_waiting;
    bool m_showing = false;
};

} // namespace brinmoor::app
