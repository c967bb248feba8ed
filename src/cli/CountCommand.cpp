#include "CountCommand.h"

#include "CountRun.h"
#include "FileSource.h"
#include "FolderWalk.h"
#include "Paths.h"
#include "ResultRows.h"
#include "ResultWriter.h"
#include "SharedOptions.h"
#include "StandardOutput.h"
#include "SummaryWriter.h"

#include <QEventLoop>
#include <QFile>
#include <QIODevice>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

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

// Whatever the device has, up to max bytes, without waiting for all of
// them: a list coming down a pipe is counted as it arrives. (QFile waits
// until it has max bytes or the end.)
// On failure -1 and why in error.
qint64 readSome(QIODevice &device, char *data, qint64 max, QString &error)
{
    auto *file = qobject_cast<QFile *>(&device);
    if (!file || file->handle() < 0 || file->bytesAvailable() > 0) {
        const qint64 got = device.read(data, max);
        if (got < 0)
            error = device.errorString();
        return got;
    }
    for (;;) {
        const ssize_t got = ::read(file->handle(), data, std::size_t(max));
        if (got >= 0 || errno != EINTR) {
            if (got < 0)
                error = counting::describeErrno(errno);
            return got;
        }
    }
}

// The longest path the system calls take, without the NUL that ends it.
constexpr qsizetype LongestPath = PATH_MAX - 1;
// Bytes read from a list at a time.
constexpr qint64 ListChunk = 64 * 1024;
// Empty entries in a row that make a list no list of paths (/dev/zero read
// with -0): far more than any list written on purpose holds, and reached in
// a moment, so the program stops instead of spinning on without a word.
constexpr qint64 MostEmptyEntries = 1 << 20;

// A folder's files, walked on a thread of its own as far ahead as a small
// queue allows, so that counting starts with the first batch and memory
// stays bounded however large the tree. Paths cross between the threads a
// batch at a time: one lock and one wake-up per batch, not per file.
class FolderFeed final : public counting::PathSource
{
public:
    // Unlike the window's scan, the console walks folders whatever their
    // names and reports every folder it cannot list: nothing the user asked
    // for drops out unseen.
    FolderFeed(const QString &folder, const CountCommand &command)
        : m_folder(folder)
    {
        m_options.pattern = command.extension.isNull() ? QStringLiteral("*.*") : QStringLiteral("*.") + command.extension;
        m_options.cancel = &m_cancel;
        // Failures of the walk take their place among the files (they come
        // on the walking thread, between two folders).
        m_options.folderFailed = [this](const QString &path, const QString &reason) {
            m_walked.push_back(counting::PathEntry::failure(path, reason));
        };
        m_options.skipBadFolderNames = false;
        m_options.reportEveryUnlistableFolder = true;
        m_options.openFolder = command.openFolder;
        m_thread = std::thread([this] { walk(); });
    }
    ~FolderFeed() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_cancel = true;
        }
        m_space.notify_all();
        m_thread.join();
    }

    counting::PathEntry next() override
    {
        if (m_taken == m_batch.size() && !takeBatch())
            return counting::PathEntry::end();
        return std::move(m_batch[m_taken++]);
    }

    bool ready() const override
    {
        if (m_taken < m_batch.size())
            return true;
        std::lock_guard lock(m_mutex);
        return !m_queue.empty() || m_done;
    }

private:
    using Batch = std::vector<counting::PathEntry>;
    // Entries handed over at a time, unless the consumer waits for them.
    static constexpr std::size_t BatchSize = 512;
    // Entries walked ahead of the consumer at most.
    static constexpr std::size_t Capacity = 8192;

    // Runs on the walking thread.
    void walk()
    {
        filelist::FolderWalker walker(m_folder, m_options);
        m_walked.reserve(BatchSize);
        QStringList files;
        // Files are asked for up to the room left in the batch being made.
        const auto room = [this] { return qsizetype(BatchSize - std::min(m_walked.size(), BatchSize - 1)); };
        while (walker.nextFiles(files, room())) {
            for (QString &file : files)
                m_walked.push_back(counting::PathEntry::file(std::move(file)));
            files.clear();
            // A consumer that waits takes what there is: the first files
            // of a slow tree are counted while the rest is walked.
            if (m_walked.size() >= BatchSize || (!m_walked.empty() && m_hungry.load(std::memory_order_relaxed)))
                handOver();
        }
        handOver();
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_one();
    }

    // Runs on the walking thread.
    void handOver()
    {
        if (m_walked.empty())
            return;
        {
            std::unique_lock lock(m_mutex);
            m_space.wait(lock, [this] { return m_cancel || m_queued < Capacity; });
            m_queued += m_walked.size();
            m_queue.push_back(std::move(m_walked));
            m_hungry.store(false, std::memory_order_relaxed);
        }
        m_ready.notify_one();
        m_walked = Batch();
        m_walked.reserve(BatchSize);
    }

    // Runs on the consumer's thread: the next batch, waiting for the walk if
    // need be; false when the walk is over.
    bool takeBatch()
    {
        std::unique_lock lock(m_mutex);
        if (m_queue.empty() && !m_done) {
            m_hungry.store(true, std::memory_order_relaxed);
            m_ready.wait(lock, [this] { return !m_queue.empty() || m_done; });
        }
        if (m_queue.empty())
            return false;
        const bool wasFull = m_queued >= Capacity;
        m_batch = std::move(m_queue.front());
        m_queue.pop_front();
        m_taken = 0;
        m_queued -= m_batch.size();
        lock.unlock();
        if (wasFull)
            m_space.notify_one();
        return true;
    }

    const QString m_folder;
    filelist::WalkOptions m_options;
    std::atomic<bool> m_cancel{false};
    // The walking thread's batch in the making.
    Batch m_walked;
    // The consumer's batch: the run calls next() and ready() from one thread
    // at a time, so these need no lock.
    Batch m_batch;
    std::size_t m_taken = 0;
    // Guarded by m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_ready, m_space;
    std::deque<Batch> m_queue;
    std::size_t m_queued = 0;
    bool m_done = false;
    // Set when the consumer found nothing to take, until a batch is queued.
    std::atomic<bool> m_hungry{false};
    std::thread m_thread;
};

// One --files-from list, read a chunk at a time as the run asks for paths:
// lines (a CR before the LF is dropped, for lists written on Windows) or
// NUL-separated names; empty entries name nothing. An entry that cannot be
// a path (longer than the system takes, or a NUL inside a line) means the
// input is not a list of paths at all, and the run stops.
class ListReader
{
public:
    ListReader(QString name, bool nullSeparated)
        : m_name(std::move(name))
        , m_separator(nullSeparated ? '\0' : '\n')
    {
    }

    // Whether next() has an entry (or the end) without reading more.
    bool ready() const { return m_atEnd || m_buffer.indexOf(m_separator, m_position) >= 0; }

    // The next entry of the list read from device.
    counting::PathEntry next(QIODevice &device)
    {
        for (;;) {
            const qsizetype end = m_buffer.indexOf(m_separator, m_position);
            if (end < 0 && !m_atEnd) {
                const qsizetype pending = m_buffer.size() - m_position;
                if (m_separator == '\n' && std::memchr(m_buffer.constData() + m_position, '\0', std::size_t(pending)))
                    return holdsNul();
                if (pending > LongestPath + 1)   // + 1: a CR may still go
                    return tooLong();
                QString error;
                if (!fill(device, error))
                    return counting::PathEntry::failure(m_name, error);
                continue;
            }
            const qsizetype stop = end < 0 ? m_buffer.size() : end;
            if (stop == m_position && end < 0)
                return counting::PathEntry::end();
            QByteArray entry = m_buffer.mid(m_position, stop - m_position);
            m_position = end < 0 ? stop : end + 1;
            ++m_entries;
            if (m_separator == '\n' && entry.endsWith('\r'))
                entry.chop(1);
            if (entry.isEmpty()) {
                if (++m_emptyInARow == MostEmptyEntries)
                    return fatal(QStringLiteral("%1 empty entries in a row").arg(MostEmptyEntries));
                continue;
            }
            m_emptyInARow = 0;
            if (entry.size() > LongestPath) {
                --m_entries;
                return tooLong();
            }
            if (m_separator == '\n' && entry.contains('\0')) {
                --m_entries;
                return holdsNul();
            }
            return counting::PathEntry::file(pathFromNative(entry));
        }
    }

private:
    counting::PathEntry fatal(const QString &what) const
    {
        return counting::PathEntry::fatal(m_name + QStringLiteral(": not a list of paths: ") + what);
    }
    counting::PathEntry holdsNul() const
    {
        return fatal(QStringLiteral("entry %1 holds a NUL byte (NUL-separated names need -0)").arg(m_entries + 1));
    }
    counting::PathEntry tooLong() const
    {
        return fatal(QStringLiteral("entry %1 is longer than the longest path the system takes (%2 bytes)")
                         .arg(m_entries + 1)
                         .arg(LongestPath));
    }

    // Reads one more chunk; false on a read error.
    bool fill(QIODevice &device, QString &error)
    {
        m_buffer.remove(0, m_position);
        m_position = 0;
        const qsizetype kept = m_buffer.size();
        m_buffer.resize(kept + ListChunk);
        const qint64 got = readSome(device, m_buffer.data() + kept, ListChunk, error);
        m_buffer.resize(kept + std::max<qint64>(got, 0));
        if (got <= 0)
            m_atEnd = true;
        return got >= 0;
    }

    const QString m_name;
    const char m_separator;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    bool m_atEnd = false;
    qint64 m_entries = 0;
    qint64 m_emptyInARow = 0;
};

// Everything the command names, in order: the paths of the command line
// (a folder adds its files as the walk lists them), then the entries of each
// list. Entries of a list are taken as files without a look-up; the run
// finds a folder among them when it opens it and asks folder() for its files.
class CommandPaths final : public counting::PathSource
{
public:
    CommandPaths(const CountCommand &command, QIODevice &in)
        : m_command(command)
        , m_in(in)
    {
    }

    counting::PathEntry next() override
    {
        for (;;) {
            if (m_walk) {
                counting::PathEntry entry = m_walk->next();
                if (entry.kind != counting::PathEntry::Kind::End)
                    return entry;
                m_walk.reset();
            }
            if (m_argument < m_command.paths.size()) {
                const QString &path = m_command.paths.at(m_argument++);
                // Anything that is not a folder is a file, taken as given
                // (the count reports it if it is not one).
                if (!filelist::IsFolder(path))
                    return counting::PathEntry::file(path);
                m_walk = folder(path);
                continue;
            }
            if (m_reader) {
                counting::PathEntry entry = m_reader->next(*m_device);
                if (entry.kind != counting::PathEntry::Kind::End) {
                    if (entry.kind == counting::PathEntry::Kind::Failure)
                        closeList();   // a read error ends that list
                    return entry;
                }
                closeList();
            }
            if (m_list >= m_command.filesFrom.size())
                return counting::PathEntry::end();
            const QString &list = m_command.filesFrom.at(m_list++);
            if (list == QLatin1String("-")) {
                m_device = &m_in;
                m_reader.emplace(QStringLiteral("standard input"), m_command.nullSeparated);
                continue;
            }
            // Opened by its bytes: QFile would re-encode the name lossily.
            const int fd = ::open(nativePath(list).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return counting::PathEntry::failure(list, counting::describeErrno(errno));
            if (!m_file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
                ::close(fd);
                return counting::PathEntry::failure(list, m_file.errorString());
            }
            m_device = &m_file;
            m_reader.emplace(list, m_command.nullSeparated);
        }
    }

    // Opening the next list may wait (a FIFO without a writer), so only an
    // entry already read or walked counts as there.
    bool ready() const override
    {
        if (m_walk)
            return m_walk->ready();
        if (m_argument < m_command.paths.size())
            return true;
        return m_reader && m_reader->ready();
    }

    std::unique_ptr<counting::PathSource> folder(const QString &path) override
    {
        return std::make_unique<FolderFeed>(path, m_command);
    }

private:
    void closeList()
    {
        m_reader.reset();
        m_file.close();
        m_device = nullptr;
    }

    const CountCommand &m_command;
    QIODevice &m_in;
    qsizetype m_argument = 0;
    qsizetype m_list = 0;
    std::unique_ptr<counting::PathSource> m_walk;
    QFile m_file;
    QIODevice *m_device = nullptr;
    std::optional<ListReader> m_reader;
};

} // namespace

int runCount(CountCommand command, QIODevice &out, QIODevice &err, QIODevice &in)
{
    ErrorOutput errors(err);

    // The text format is the results list; the others always need every
    // file's count, which fileCounted gives in both modes.
    const bool text = command.format == OutputFormat::Text;
    const auto mode = text && command.separate ? counting::CountMode::Separate : counting::CountMode::OneTotal;
    counting::CountRun run(std::make_unique<CommandPaths>(command, in), mode,
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
