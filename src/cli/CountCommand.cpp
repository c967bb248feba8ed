#include "CountCommand.h"

#include "CommandPaths.h"
#include "CountRun.h"
#include "Paths.h"
#include "ResultRows.h"
#include "ResultWriter.h"
#include "SharedOptions.h"
#include "StandardOutput.h"
#include "SummaryWriter.h"

#include <QEventLoop>
#include <QFileDevice>
#include <QIODevice>
#include <QTimer>

namespace brinmoor::cli {

namespace {

// Rows reach a terminal or pipe at least this often, without a write per row.
constexpr int FlushIntervalMs = 100;

const QByteArray Program = QByteArrayLiteral("brinmoor-count");

void flushDevice(QIODevice &device)
{
    if (auto *file = qobject_cast<QFileDevice *>(&device))
        file->flush();
}

// Failures go out at once and unbuffered: they are few, and a user who
// watches wants them as they happen.
class ErrorOutput
{
public:
    explicit ErrorOutput(QIODevice &err)
        : m_err(err)
    {
    }
    void line(const QString &text)
    {
        // Paths are written as the file system names them.
        m_err.write(Program + ": " + nativePath(text) + '\n');
        flushDevice(m_err);
        m_failed = true;
    }
    bool failed() const { return m_failed; }

private:
    QIODevice &m_err;
    bool m_failed = false;
};

} // namespace

int runCount(CountCommand command, QIODevice &out, QIODevice &err, QIODevice &in)
{
    ErrorOutput errors(err);

    // The text format is the results list; the others always need every
    // file's count, which fileCounted gives in both modes.
    const bool text = command.format == OutputFormat::Text;
    const auto mode = text && command.separate ? counting::CountMode::Separate : counting::CountMode::OneTotal;
    // The paths first: the options are moved into the run below.
    auto paths = makeCommandPaths(command, in);
    counting::CountRun run(std::move(paths), mode,
                           std::make_shared<counting::FixedOptions>(std::move(command.options)));
    run.setJobs(command.jobs);

    const auto writer = command.summary ? makeSummaryWriter(command, out) : makeResultWriter(command.format, out);
    // Nothing more is counted once the results cannot be written: a closed
    // pipe or a full disk ends the run at the first write that fails, not
    // after every file was read for nothing.
    bool writeFailed = false;
    const auto checkWrite = [&] {
        if (!writeFailed && writer->failed()) {
            writeFailed = true;
            run.cancel();
        }
    };
    writer->begin();
    QEventLoop loop;
    quint64 total = 0;
    bool ended = false;
    if (text)
        QObject::connect(&run, &counting::CountRun::rowReady, &loop, [&](const QString &row) {
            writer->row(row);
            checkWrite();
        });
    QObject::connect(&run, &counting::CountRun::fileCounted, &loop, [&](int, const QString &path, quint64 lines) {
        total += lines;
        if (!text || command.summary) {   // a summary adds up every file's count
            writer->file(path, lines);
            checkWrite();
        }
    });
    QObject::connect(&run, &counting::CountRun::fileFailed, &loop,
                     [&](int, const QString &path, const QString &reason) {
                         errors.line(path.isEmpty() ? reason : path + QStringLiteral(": ") + reason);
                         writer->failure(path, reason);
                         checkWrite();
                     });
    QString notAList;
    QObject::connect(&run, &counting::CountRun::inputFailed, &loop, [&](const QString &reason) { notAList = reason; });
    // No thread to count with, or no options to count by: as fatal as a list
    // that is not one.
    QObject::connect(&run, &counting::CountRun::runFailed, &loop, [&](const QString &reason) { notAList = reason; });
    QObject::connect(&run, &counting::CountRun::totalCounted, &loop, [&](quint64 runTotal) {
        ended = true;
        writer->end(runTotal);
        checkWrite();
    });
    QObject::connect(&run, &counting::CountRun::finished, &loop, &QEventLoop::quit);
    QTimer flusher;
    flusher.setInterval(FlushIntervalMs);
    QObject::connect(&flusher, &QTimer::timeout, &loop, [&] {
        writer->flush();
        checkWrite();
    });
    flusher.start();

    run.start();
    loop.exec();

    // Input that is no list of paths ends the run without its total; what
    // was written still ends as its format must, with the total of the files
    // counted before, so that a reader of the output can parse it.
    if (!ended && !writeFailed) {
        if (text && mode == counting::CountMode::OneTotal)
            writer->row(counting::totalRow(total));
        writer->end(total);
    }
    // A full disk or a closed pipe must not pass for success. A reader that
    // left (`| head`) has what it wanted and is not told.
    const bool cannotWrite = !writer->flush();
    if (cannotWrite) {
        const auto *output = qobject_cast<DescriptorOutput *>(&out);
        if (!output || !output->readerLeft())
            errors.line(QStringLiteral("cannot write the results: ") + writer->error());
    }
    if (!notAList.isNull()) {
        errors.line(notAList);
        return ExitUsage;
    }
    return errors.failed() || cannotWrite ? ExitFailures : ExitOk;
}

int runCommandLine(QStringList arguments, QIODevice &out, QIODevice &err, QIODevice &in)
{
    ParsedCommandLine parsed = parseCommandLine(std::move(arguments));
    switch (parsed.action) {
    case ParsedCommandLine::Action::Help:
    case ParsedCommandLine::Action::Version: {
        const QByteArray text = parsed.text.toUtf8();
        if (out.write(text) == text.size())
            return ExitOk;
        const auto *output = qobject_cast<DescriptorOutput *>(&out);
        if (!output || !output->readerLeft()) {
            err.write(Program + ": cannot write the help: " + out.errorString().toUtf8() + '\n');
            flushDevice(err);
        }
        return ExitFailures;
    }
    case ParsedCommandLine::Action::UsageError:
        err.write(Program + ": " + nativePath(parsed.text) + "\nTry '" + Program + " --help' for more information.\n");
        flushDevice(err);
        return ExitUsage;
    case ParsedCommandLine::Action::Count:
        break;
    }
    return runCount(std::move(parsed.command), out, err, in);
}

} // namespace brinmoor::cli
