#include "ErrorReporter.h"

#include "UserDialogs.h"

#include <QLocale>
#include <QPointer>

#include <memory>

namespace brinmoor::app {

namespace {

const QString Title = QStringLiteral("Application Error");

// Where a box that blocks nothing stands.
enum { Opening, ClosedAtOnce, Open };

// One line of the details: the failure and where it happened.
QString detailLine(const Failure &failure)
{
    return failure.description + QStringLiteral(" (") + failure.location + QStringLiteral("at line ")
        + QString::number(failure.step) + QLatin1Char(')');
}

// A count as the user's language writes it ("3,000"); a system without a
// language set writes English rather than no separators at all.
QString countText(int count)
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    return locale.toString(count);
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
    if (!m_showing)
        showQueued();
}

void ErrorReporter::showQueued()
{
    m_showing = true;
    while (!m_queue.isEmpty()) {
        const Box next = m_queue.takeFirst();
        const QString text = errorReportText(next.failure);
        if (next.modeless) {
            // The queue goes on when the box closes; a box that closed
            // before notify() returned (one that had to block) goes on here.
            auto state = std::make_shared<int>(Opening);
            QPointer<QObject> alive(&m_context);
            m_dialogs.notify(Title, text, next.details, MessageIcon::Warning, [this, state, alive] {
                if (*state == Opening) {
                    *state = ClosedAtOnce;
                    return;
                }
                if (alive)
                    showQueued();
            });
            if (*state == ClosedAtOnce)
                continue;
            *state = Open;
            return;
        }
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
        m_reporter.post([reporter = &m_reporter, failure] { reporter->show(Box{failure, QString(), true}); });
    else if (m_details.size() < DetailsKept)
        m_details.append(detailLine(failure));
}

void ErrorReporter::Gathering::passedOver(int folders, const QStringList &lines)
{
    m_passedOver += folders;
    for (const QString &line : lines) {
        if (m_passedOverDetails.size() >= DetailsKept)
            break;
        m_passedOverDetails.append(line);
    }
}

void ErrorReporter::Gathering::finish()
{
    const int gathered = qMax(0, m_reported - 1);
    if (gathered == 0 && m_passedOver == 0)
        return;
    QStringList texts;
    QStringList details;
    if (gathered > 0) {
        texts.append(m_summary(gathered));
        details += std::exchange(m_details, {});
        if (gathered > details.size())
            details.append(QStringLiteral("... and %1 more, not listed.").arg(countText(gathered - details.size())));
    }
    if (m_passedOver > 0) {
        texts.append(m_passedOver == 1 ? QStringLiteral("1 folder could not be read and was passed over.")
                                       : QStringLiteral("%1 folders could not be read and were passed over.")
                                             .arg(countText(m_passedOver)));
        const QStringList folders = std::exchange(m_passedOverDetails, {});
        details += folders;
        if (m_passedOver > folders.size())
            details.append(
                QStringLiteral("... and %1 more folders, not listed.").arg(countText(m_passedOver - folders.size())));
    }
    m_reported = qMin(m_reported, 1);   // told; a second finish() shows nothing
    m_passedOver = 0;
    Box summary{Failure{texts.join(QLatin1Char('\r')), m_location, m_step}, details.join(QLatin1Char('\n')), true};
    m_reporter.post([reporter = &m_reporter, summary] { reporter->show(summary); });
}

} // namespace brinmoor::app
