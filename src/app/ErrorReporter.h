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
// A box runs a nested event loop, or (the gathered failures of a long
// command) stays open without one; either way more failures can arrive
// while it is open (a run reports its files). Those wait in a queue and are
// shown one after the other, never as boxes stacked on boxes.
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
        // The details name this many failures; the rest are only counted,
        // so a run with a million missing files holds a bounded report.
        static constexpr int DetailsKept = 1000;

        // summary turns the number of gathered failures into the box's
        // description; location and step are those of the command.
        Gathering(ErrorReporter &reporter, std::function<QString(int)> summary, QString location, int step);
        void report(const Failure &failure) override;
        // Folders the command passed over because it may not read them:
        // told once, in finish()'s box, with the first ones in its details.
        void passedOver(int folders, const QStringList &lines);
        void finish();
        int reported() const { return m_reported; }

    private:
        ErrorReporter &m_reporter;
        std::function<QString(int)> m_summary;
        QString m_location;
        int m_step = 0;
        int m_reported = 0;
        QStringList m_details;   // of the gathered failures, at most DetailsKept
        int m_passedOver = 0;
        QStringList m_passedOverDetails;
    };

    explicit ErrorReporter(UserDialogs &dialogs);

    void report(const Failure &failure) override;
    std::unique_ptr<Gathering> gather(std::function<QString(int)> summary, const char *location, int step);

    bool isShowing() const { return m_showing; }
    // Runs then() from the event loop, after what was posted before it; a
    // command's end posts its last box so it follows its posted failures.
    void post(std::function<void()> then);
    // Runs then() at once when no box is open, otherwise after the last one
    // closes (a box that blocks nothing included).
    void whenIdle(std::function<void()> then);

private:
    struct Box
    {
        Failure failure;
        QString details;
        // The boxes of a long command block nothing: its stop control stays
        // within reach while the work goes on.
        bool modeless = false;
    };
    void show(Box box);
    void showQueued();

    UserDialogs &m_dialogs;
    // Context of the posted calls: they die with the reporter.
    QObject m_context;
    QList<Box> m_queue;
    QList<std::function<void()>> m_waiting;
    bool m_showing = false;
};

} // namespace brinmoor::app
