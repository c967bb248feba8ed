#include "CommandPaths.h"

#include "FileSource.h"
#include "FolderFeed.h"
#include "Paths.h"

#include <QFile>
#include <QIODevice>

#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace brinmoor::cli {

namespace {

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

// A folder's files as the feed walks them. Unlike the window's scan, the
// console walks folders whatever their names and reports every folder it
// cannot list: nothing the user asked for drops out unseen.
class FolderPaths final : public counting::PathSource
{
public:
    FolderPaths(const QString &folder, const CountCommand &command)
        : m_feed({{folder}}, walkOptions(command))
    {
    }

    counting::PathEntry next() override
    {
        filelist::FeedEntry entry;
        if (!m_feed.next(entry))
            return counting::PathEntry::end();
        // A failure takes its place among the files.
        if (entry.kind == filelist::FeedEntry::Kind::Failed)
            return counting::PathEntry::failure(std::move(entry.path), std::move(entry.reason));
        return counting::PathEntry::file(std::move(entry.path));
    }

    bool ready() const override { return m_feed.ready(); }

private:
    static filelist::WalkOptions walkOptions(const CountCommand &command)
    {
        filelist::WalkOptions options;
        options.pattern =
            command.extension.isNull() ? QStringLiteral("*.*") : QStringLiteral("*.") + command.extension;
        options.skipBadFolderNames = false;
        options.reportEveryUnlistableFolder = true;
        options.openFolder = command.openFolder;
        return options;
    }

    filelist::FolderFeed m_feed;
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
        return std::make_unique<FolderPaths>(path, m_command);
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

std::unique_ptr<counting::PathSource> makeCommandPaths(const CountCommand &command, QIODevice &in)
{
    return std::make_unique<CommandPaths>(command, in);
}

} // namespace brinmoor::cli
