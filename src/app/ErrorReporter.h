#pragma once

#include "ErrorReport.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

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
    // The failures of one long command (a run, a folder scan): the first is
    // shown as it comes, the later ones are gathered, so a thousand missing
    // files do not give a thousand boxes. finish() shows one box with their
    // number and the whole list in its details. Both boxes open from the
    // event loop (see post()), never inside the caller: a worker's delivery
    // goes on while the first box is open.
    class Gathering final : public FailureSink
    {
    public:
        // summary turns the number of gathered failures into the box's
        // description; location and step are those of the command.
        Gathering(ErrorReporter &reporter, std::function<QString(int)> summary, QString location, int step);
        void report(const Failure &failure) override;
        void finish();
        int reported() const { return m_reported; }

    private:
        ErrorReporter &m_reporter;
        std::function<QString(int)> m_summary;
        QString m_location;
        int m_step = 0;
        int m_reported = 0;
        QList<Failure> m_gathered;
    };

    explicit ErrorReporter(UserDialogs &dialogs);

    void report(const Failure &failure) override;
    std::unique_ptr<Gathering> gather(std::function<QString(int)> summary, const char *location, int step);

    bool isShowing() const { return m_showing; }
    // Runs then() from the event loop, after what was posted before it; a
    // command's end posts its last box so it follows its posted failures.
    void post(std::function<void()> then);
    // Runs then() at once when no box is open, otherwise after the last one
    // closes.
    void whenIdle(std::function<void()> then);

private:
    struct Box
    {
        Failure failure;
        QString details;
    };
    void show(Box box);

    UserDialogs &m_dialogs;
    // Context of the posted calls: they die with the reporter.
    QObject m_context;
    QList<Box> m_queue;
    QList<std::function<void()>> m_waiting;
    bool m_showing = false;
};

} // namespace brinmoor::app
