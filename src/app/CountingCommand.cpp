#include "CountingCommand.h"

#include "CaptionProgressBar.h"
#include "ErrorReporter.h"
#include "MainWindow.h"
#include "Procedure.h"

#include "CountRun.h"
#include "Paths.h"
#include "SharedOptions.h"
#include "TextListModel.h"

#include <QDir>
#include <QPushButton>
#include <QTimer>

namespace brinmoor::app {

namespace {
// The read step of a run: where the engine's per-file failures belong.
constexpr int RunReadStep = 108;
} // namespace

CountingCommand::CountingCommand(MainWindow &window, std::shared_ptr<const counting::SharedOptions> options,
                                 int jobs)
    : QObject(&window)
    , m_window(window)
    , m_options(std::move(options))
    , m_jobs(jobs)
{
    m_rowFlush = new QTimer(this);
    m_rowFlush->setSingleShot(true);
    m_rowFlush->setInterval(50);
    connect(m_rowFlush, &QTimer::timeout, this, &CountingCommand::flushPendingRows);
    if (QPushButton *b = window.button("PushButton12"))
        connect(b, &QPushButton::clicked, this, &CountingCommand::startCounting);
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
    Procedure p(m_window.errorReporter(), location::StartCounting);

    bool empty = false;
    p.run(100, [&] { empty = m_window.fileList().count() == 0; });
    if (empty) {
        p.run(102, [&] { m_window.tell(QStringLiteral("No files added.")); });
        m_counting = false;
        return;
    }
    p.run(104, [&] { clearResultRows(); });

    counting::CountMode mode = counting::CountMode::None;
    p.run(106, [&] { mode = m_window.countMode(); });
    if (mode == counting::CountMode::None) {
        endRun(true);
        return;
    }

    const bool started = p.run(RunReadStep, [&] {
        m_runBusy = m_window.busy().acquire();
        m_failures = m_window.errorReporter().gather(
            [](int more) { return QStringLiteral("%1 more files could not be counted.").arg(more); },
            location::StartCounting, RunReadStep);
        m_run = new counting::CountRun(m_window.fileList().texts(), mode, m_options, this);
        m_run->setJobs(m_jobs);
        m_run->setLowPriorityWorkers(true);
        emit runStarted(*m_run);
        connect(m_run, &counting::CountRun::rowReady, this, [this](const QString &row) {
            m_pendingRows.append(row);
            if (!m_rowFlush->isActive())
                m_rowFlush->start();
        });
        connect(m_run, &counting::CountRun::progress, this,
                [this](int index, int, const QString &path, quint64 lineIndex) {
                    showProgress(index, path, lineIndex);
                });
        connect(m_run, &counting::CountRun::fileFailed, this,
                [this](int, const QString &path, const QString &reason) {
                    // The engine's reason names no file; with many files the
                    // user needs to know which one.
                    m_failures->report(Failure{QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason,
                                               QString::fromLatin1(location::StartCounting), RunReadStep});
                });
        // The run could not go on at all (no thread, no words to count by):
        // told like a file's failure, and no "Done." follows.
        connect(m_run, &counting::CountRun::runFailed, this, [this](const QString &reason) {
            m_failures->report(Failure{reason, QString::fromLatin1(location::StartCounting), RunReadStep});
        });
        connect(m_run, &counting::CountRun::finished, this, &CountingCommand::runFinished);
        m_run->start();
    });
    if (!started) {
        delete m_run;
        m_run = nullptr;
        endRun(true);
    }
}

void CountingCommand::clearResultRows()
{
    m_window.results().clear();
    m_pendingRows.clear();
}

void CountingCommand::flushPendingRows()
{
    m_rowFlush->stop();
    // Rows arrive per file; appending them in batches keeps a long run from
    // relaying out the results list for every single one.
    m_window.results().append(std::exchange(m_pendingRows, {}), true);
}

void CountingCommand::showProgress(int index, const QString &path, quint64 lineIndex)
{
    if (!m_run)
        return;
    const int rows = qMax(1, m_window.fileList().count());
    CaptionProgressBar &bar = m_window.progressBar();
    bar.setValue(qBound(0, int((qint64(index) + 1) * 100 / rows), 100));
    QString caption = QStringLiteral("Processing: ") + GetFileNameFromPath(path);
    caption += QStringLiteral(" (") + QString::number(lineIndex) + QLatin1Char(')');
    bar.setCaption(caption);
}

void CountingCommand::runFinished(bool cancelled)
{
    if (!m_run || sender() != m_run)
        return;
    flushPendingRows();
    m_run->deleteLater();
    m_run = nullptr;
    endRun(!cancelled && !m_closing);
}

void CountingCommand::endRun(bool showDone)
{
    Procedure p(m_window.errorReporter(), location::StartCounting);
    // The pointer and the progress bar come back at once, even while the
    // report of a failure is still open: the run never waits on a box.
    p.run(110, [&] { m_runBusy.reset(); });
    p.run(112, [&] { m_window.progressBar().setValue(0); });
    p.run(114, [&] { m_window.progressBar().setCaption(QStringLiteral("Progress Bar")); });
    // Boxes of the run's failures are posted; "Done." goes behind them.
    const std::unique_ptr<ErrorReporter::Gathering> failures = std::move(m_failures);
    const bool reported = failures && failures->reported() > 0;
    if (failures && !m_closing)
        failures->finish();
    // "Done." comes after every report of the run, never stacked on one.
    ErrorReporter &reporter = m_window.errorReporter();
    const auto done = [this, showDone] {
        Procedure p(m_window.errorReporter(), location::StartCounting);
        if (showDone)
            p.run(116, [&] { m_window.tell(QStringLiteral("Done.")); });
        p.run(118, [&] { m_counting = false; });
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
    m_pendingRows.clear();
    endRun(false);
}

} // namespace brinmoor::app
