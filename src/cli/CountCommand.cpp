#include "CountCommand.h"

#include "CountRun.h"
#include "ErrorReport.h"
#include "FileSource.h"
#include "FolderWalk.h"
#include "Paths.h"
#include "ResultWriter.h"
#include "SharedOptions.h"

#include <QEventLoop>
#include <QFile>
#include <QIODevice>
#include <QTimer>

#include <fcntl.h>

namespace brinmoor::cli {

namespace {

// Rows reach a terminal or pipe at least this often, without a write per row.
constexpr int FlushIntervalMs = 100;

const QByteArray Program = QByteArrayLiteral("brinmoor-count");

// Failures go out at once and unbuffered: they are few, and a user who
// watches wants them as they happen.
class ErrorOutput final : public FailureSink
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
        flush();
        m_failed = true;
    }
    void report(const Failure &failure) override { line(failure.description); }
    bool failed() const { return m_failed; }

private:
    void flush()
    {
        if (auto *file = qobject_cast<QFileDevice *>(&m_err))
            file->flush();
    }
    QIODevice &m_err;
    bool m_failed = false;
};

void flushDevice(QIODevice &device)
{
    if (auto *file = qobject_cast<QFileDevice *>(&device))
        file->flush();
}

// The paths of one list: lines (a CR before the LF is dropped, for lists
// written on Windows) or NUL-separated names; empty entries name nothing.
QStringList splitList(const QByteArray &bytes, bool nullSeparated)
{
    QStringList paths;
    const char separator = nullSeparated ? '\0' : '\n';
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf(separator, start);
        if (end < 0)
            end = bytes.size();
        QByteArray entry = bytes.mid(start, end - start);
        if (!nullSeparated && entry.endsWith('\r'))
            entry.chop(1);
        if (!entry.isEmpty())
            paths << pathFromNative(entry);
        start = end + 1;
    }
    return paths;
}

// A folder adds its files as the walk lists them; anything else is a file,
// taken as given (the count reports it if it is not one). Unlike the
// window's scan, the console walks folders whatever their names and reports
// every folder it cannot list: nothing the user asked for drops out unseen.
void addPath(const QString &path, const CountCommand &command, ErrorOutput &errors, QStringList &paths)
{
    if (!filelist::IsFolder(path)) {
        paths << path;
        return;
    }
    filelist::WalkOptions walk;
    walk.pattern = command.extension.isNull() ? QStringLiteral("*.*") : QStringLiteral("*.") + command.extension;
    walk.failures = &errors;
    walk.skipBadFolderNames = false;
    walk.reportEveryUnlistableFolder = true;
    walk.openFolder = command.openFolder;
    filelist::walkFolder(path, walk, [&paths](const QStringList &batch) { paths += batch; });
}

} // namespace

int runCount(const CountCommand &command, QIODevice &out, QIODevice &err, QIODevice &in)
{
    ErrorOutput errors(err);

    QStringList paths;
    for (const QString &path : command.paths)
        addPath(path, command, errors, paths);
    for (const QString &list : command.filesFrom) {
        QByteArray bytes;
        if (list == QLatin1String("-")) {
            bytes = in.readAll();
        } else {
            // Opened by its bytes: QFile would re-encode the name lossily.
            QFile file;
            const int fd = ::open(nativePath(list).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
                errors.line(list + QStringLiteral(": ") + counting::describeErrno(errno));
                continue;
            }
            bytes = file.readAll();
        }
        for (const QString &path : splitList(bytes, command.nullSeparated))
            addPath(path, command, errors, paths);
    }

    // The text format is the results list; the others always need every
    // file's count, which fileCounted gives in both modes.
    const bool text = command.format == OutputFormat::Text;
    const auto mode = text && command.separate ? counting::CountMode::Separate : counting::CountMode::OneTotal;
    counting::CountRun run(paths, mode, std::make_shared<counting::FixedOptions>(command.options));
    run.setJobs(command.jobs);

    const auto writer = makeResultWriter(command.format, out);
    writer->begin();
    QEventLoop loop;
    if (text)
        QObject::connect(&run, &counting::CountRun::rowReady, &loop, [&](const QString &row) { writer->row(row); });
    else
        QObject::connect(&run, &counting::CountRun::fileCounted, &loop,
                         [&](int, const QString &path, quint64 lines) { writer->file(path, lines); });
    QObject::connect(&run, &counting::CountRun::fileFailed, &loop,
                     [&](int, const QString &path, const QString &reason) {
                         errors.line(path + QStringLiteral(": ") + reason);
                         writer->failure(path, reason);
                     });
    QObject::connect(&run, &counting::CountRun::totalCounted, &loop, [&](quint64 total) { writer->end(total); });
    QObject::connect(&run, &counting::CountRun::finished, &loop, &QEventLoop::quit);
    QTimer flusher;
    flusher.setInterval(FlushIntervalMs);
    QObject::connect(&flusher, &QTimer::timeout, &loop, [&out] { flushDevice(out); });
    flusher.start();

    run.start();
    loop.exec();

    // A full disk or a closed pipe must not pass for success.
    if (auto *file = qobject_cast<QFileDevice *>(&out); file && (!file->flush() || file->error() != QFileDevice::NoError)) {
        errors.line(QStringLiteral("cannot write the results: ") + file->errorString());
    }
    return errors.failed() ? ExitFailures : ExitOk;
}

int runCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err, QIODevice &in)
{
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    switch (parsed.action) {
    case ParsedCommandLine::Action::Help:
    case ParsedCommandLine::Action::Version:
        out.write(parsed.text.toUtf8());
        flushDevice(out);
        return ExitOk;
    case ParsedCommandLine::Action::UsageError:
        err.write(Program + ": " + nativePath(parsed.text) + "\nTry '" + Program + " --help' for more information.\n");
        flushDevice(err);
        return ExitUsage;
    case ParsedCommandLine::Action::Count:
        break;
    }
    return runCount(parsed.command, out, err, in);
}

} // namespace brinmoor::cli
