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

// One command's failure handling: the command declares the label of each
// step as it goes; a failing step is reported once, with the command's
// location and that label, and the command goes on with its next step.
//
//     Procedure p(reporter, location::AddOneEntry);
//     p.run(100, [&] { answer = dialogs.input(...); });
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

    // Runs body as the step with this label; true when it did not fail.
    template <class Body>
    bool run(int label, Body &&body)
    {
        step(label);
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

    int failures() const { return m_failures; }
    const QString &location() const { return m_location; }

private:
    FailureSink &m_sink;
    QString m_location;
    int m_step = 0;
    int m_failures = 0;
};

} // namespace brinmoor::app
