#include "ErrorReporter.h"

#include "UserDialogs.h"

namespace brinmoor::app {

namespace {

const QString Title = QStringLiteral("Application Error");

// One line of the details: the failure and where it happened.
QString detailLine(const Failure &failure)
{
    return failure.description + QStringLiteral(" (") + failure.location + QStringLiteral("at line ")
        + QString::number(failure.step) + QLatin1Char(')');
}

} // namespace

ErrorReporter::ErrorReporter(UserDialogs &dialogs)
    : m_dialogs(dialogs)
{
}

void ErrorReporter::report(const Failure &failure)
{
    show(Box{failure, QString()});
}

void ErrorReporter::show(Box box)
{
    m_queue.append(std::move(box));
    if (m_showing)
        return;
    m_showing = true;
    while (!m_queue.isEmpty()) {
        const Box next = m_queue.takeFirst();
        const QString text = errorReportText(next.failure);
        if (next.details.isEmpty())
            m_dialogs.message(Title, text, MessageButtons::Ok, MessageIcon::Warning);
        else
            m_dialogs.messageWithDetails(Title, text, next.details, MessageIcon::Warning);
    }
    m_showing = false;
    const auto waiting = std::exchange(m_waiting, {});
    for (const auto &then : waiting)
        then();
}

void ErrorReporter::post(std::function<void()> then)
{
    QMetaObject::invokeMethod(&m_context, std::move(then), Qt::QueuedConnection);
}

void ErrorReporter::whenIdle(std::function<void()> then)
{
    if (m_showing)
        m_waiting.append(std::move(then));
    else
        then();
}

std::unique_ptr<ErrorReporter::Gathering> ErrorReporter::gather(std::function<QString(int)> summary,
                                                                const char *location, int step)
{
    return std::make_unique<Gathering>(*this, std::move(summary), QString::fromLatin1(location), step);
}

ErrorReporter::Gathering::Gathering(ErrorReporter &reporter, std::function<QString(int)> summary,
                                    QString location, int step)
    : m_reporter(reporter)
    , m_summary(std::move(summary))
    , m_location(std::move(location))
    , m_step(step)
{
}

void ErrorReporter::Gathering::report(const Failure &failure)
{
    if (m_reported++ == 0)
        m_reporter.post([reporter = &m_reporter, failure] { reporter->report(failure); });
    else
        m_gathered.append(failure);
}

void ErrorReporter::Gathering::finish()
{
    if (m_gathered.isEmpty())
        return;
    const QList<Failure> gathered = std::exchange(m_gathered, {});
    QStringList lines;
    lines.reserve(gathered.size());
    for (const Failure &failure : gathered)
        lines.append(detailLine(failure));
    Box summary{Failure{m_summary(int(gathered.size())), m_location, m_step}, lines.join(QLatin1Char('\n'))};
    m_reporter.post([reporter = &m_reporter, summary] { reporter->show(summary); });
}

} // namespace brinmoor::app
