#include "CountingCommand.h"

#include "CaptionProgressBar.h"
#include "ErrorReporter.h"
#include "Procedure.h"
#include "ResultRows.h"

#include "CountRun.h"
#include "Paths.h"
#include "SharedOptions.h"
#include "TextListModel.h"

#include <QDir>

namespace brinmoor::app {

namespace {
// The read step of a run: where the engine's per-file failures belong.
constexpr int RunReadStep = 108;
} // namespace

CountingCommand::CountingCommand(Context context, QObject *parent)
    : QObject(parent)
    , m_c(std::move(context))
{
}

CountingCommand::~CountingCommand()
{
    delete m_run;
}

void CountingCommand::startCounting()
{
    if (m_counting)
        return;
    m_counting = true;
    Procedure p(m_c.reporter, location::StartCounting);
    bool noFiles = false;
    const bool started = p.run([&] {
        p.step(100);
        noFiles = m_c.files.count() == 0;
        if (noFiles) {
            p.step(102);
            m_c.boxes.tell(QStringLiteral("No files added."));
            return;
        }
        p.step(104);
        m_c.results.clear();
        p.step(106);
        const counting::CountMode mode = m_c.countMode();
        if (mode == counting::CountMode::None)
            return;
        p.step(RunReadStep);
        startRun(mode);
    });
    if (noFiles) {
        m_counting = false;
        return;
    }
    if (!started) {
        delete m_run;
        m_run = nullptr;
    }
    // No mode chosen, or the run could not start: "Done." at once.
    if (!m_run)
        endRun(true);
}

void CountingCommand::startRun(counting::CountMode mode)
{
    m_runBusy = m_c.busy.acquire();
    m_failures = m_c.reporter.gather(
        [](int more) { return QStringLiteral("%1 more files could not be counted.").arg(more); },
        location::StartCounting, RunReadStep);
    m_run = new counting::CountRun(m_c.files.texts(), mode, m_c.options, this);
    m_run->setJobs(m_c.jobs);
    m_run->setLowPriorityWorkers(true);
    emit runStarted(*m_run);
    connect(m_run, &counting::CountRun::rowReady, this, [this](const QString &row) { m_c.results.add(row); });
    connect(m_run, &counting::CountRun::progress, this,
            [this](int index, int, const QString &path, quint64 lineIndex) { showProgress(index, path, lineIndex); });
    connect(m_run, &counting::CountRun::fileFailed, this, [this](int, const QString &path, const QString &reason) {
        // The engine's reason names no file; with many files the user needs
        // to know which one.
        m_failures->report(Failure{QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason,
                                   QString::fromLatin1(location::StartCounting), RunReadStep});
    });
    // The run could not go on at all (no thread, no words to count by): told
    // like a file's failure, and no "Done." follows.
    connect(m_run, &counting::CountRun::runFailed, this, [this](const QString &reason) {
        m_failures->report(Failure{reason, QString::fromLatin1(location::StartCounting), RunReadStep});
    });
    connect(m_run, &counting::CountRun::finished, this, &CountingCommand::runFinished);
    m_run->start();
}

void CountingCommand::showProgress(int index, const QString &path, quint64 lineIndex)
{
    if (!m_run)
        return;
    const int rows = qMax(1, m_c.files.count());
    m_c.progress.setValue(qBound(0, int((qint64(index) + 1) * 100 / rows), 100));
    QString caption = QStringLiteral("Processing: ") + GetFileNameFromPath(path);
    caption += QStringLiteral(" (") + QString::number(lineIndex) + QLatin1Char(')');
    m_c.progress.setCaption(caption);
}

void CountingCommand::runFinished(bool cancelled)
{
    if (!m_run || sender() != m_run)
        return;
    m_c.results.flush();
    m_run->deleteLater();
    m_run = nullptr;
    endRun(!cancelled && !m_closing);
}

void CountingCommand::endRun(bool showDone)
{
    Procedure p(m_c.reporter, location::StartCounting);
    // The pointer and the progress bar come back at once, even while the
    // report of a failure is still open: the run never waits on a box.
    p.run([&] {
        p.step(110);
        m_runBusy.reset();
        p.step(112);
        m_c.progress.setValue(0);
        p.step(114);
        m_c.progress.setCaption(QStringLiteral("Progress Bar"));
    });
    // Boxes of the run's failures are posted; "Done." goes behind them.
    const std::unique_ptr<ErrorReporter::Gathering> failures = std::move(m_failures);
    const bool reported = failures && failures->reported() > 0;
    if (failures && !m_closing)
        failures->finish();
    // "Done." comes after every report of the run, never stacked on one.
    ErrorReporter &reporter = m_c.reporter;
    const auto done = [this, showDone] {
        Procedure p(m_c.reporter, location::StartCounting);
        if (showDone)
            p.run(116, [&] { m_c.boxes.tell(QStringLiteral("Done.")); });
        m_counting = false;
        emit finished();
    };
    if (reported && !m_closing)
        reporter.post([&reporter, done] { reporter.whenIdle(done); });
    else
        reporter.whenIdle(done);
}

void CountingCommand::stop()
{
    if (m_run)
        m_run->cancel();
}

void CountingCommand::stopForClose()
{
    m_closing = true;
    if (!m_run)
        return;
    // Stop the workers before anything else; the destructor waits.
    m_run->disconnect(this);
    delete m_run;
    m_run = nullptr;
    m_c.results.discardPending();
    endRun(false);
}

} // namespace brinmoor::app
