#pragma once

#include "ErrorReport.h"

#include <QString>

#include <exception>
#include <utility>

namespace brinmoor::app {

// Thrown inside a step (also from helpers the step calls) to fail it with a
// description; Procedure::run catches it. Never leaves the app layer.
class StepFailure : public std::exception
{
public:
    explicit StepFailure(QString description)
        : m_description(std::move(description))
    {
    }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return "step failure"; }

private:
    QString m_description;
};

[[noreturn]] inline void failStep(const QString &description)
{
    throw StepFailure(description);
}

// One command's failure guard: the command runs its body under it once and
// marks each step it enters; a failure is reported once, with the command's
// location and the step marked last, and ends the body. Most statements of a
// command cannot fail, so only the steps that can (or that a report names)
// carry a marker.
//
//     Procedure p(reporter, location::AddOneEntry);
//     p.run([&] {
//         p.step(100);
//         answer = dialogs.input(...);
//         ...
//     });
//
// A command that goes on after a failed step (start-up) runs that step on
// its own with run(label, body).
class Procedure
{
public:
    Procedure(FailureSink &sink, const char *location)
        : m_sink(sink)
        , m_location(QString::fromLatin1(location))
    {
    }

    // Enters the step with this label; failures from now on carry it.
    void step(int label) { m_step = label; }
    int currentStep() const { return m_step; }

    // Reports a failure of the running step.
    void fail(const QString &description)
    {
        m_sink.report(Failure{description, m_location, m_step});
        ++m_failures;
    }

    // Runs body; a failure inside it is reported with the step marked last.
    // True when it did not fail.
    template <class Body>
    bool run(Body &&body)
    {
        try {
            std::forward<Body>(body)();
            return true;
        } catch (const StepFailure &failure) {
            fail(failure.description());
        } catch (const std::exception &e) {
            fail(QString::fromLocal8Bit(e.what()));
        }
        return false;
    }

    // Runs body as the step with this label, for a step the command goes on
    // after when it fails.
    template <class Body>
    bool run(int label, Body &&body)
    {
        step(label);
        return run(std::forward<Body>(body));
    }

    int failures() const { return m_failures; }
    const QString &location() const { return m_location; }

private:
    FailureSink &m_sink;
    QString m_location;
    int m_step = 0;
    int m_failures = 0;
};

} // namespace brinmoor::app
