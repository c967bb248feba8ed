#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace brinmoor::counting {

// One step of a path source.
struct PathEntry
{
    enum class Kind {
        Path,      // path is a file to count
        Failure,   // path names the place (a path or a text), reason what went wrong;
                   // delivered in order, like a file that cannot be read
        End,       // nothing more
        Fatal,     // the input is not a list of paths at all; reason says why
    };
    Kind kind = Kind::End;
    QString path;
    QString reason;

    static PathEntry file(QString path) { return {Kind::Path, std::move(path), {}}; }
    static PathEntry failure(QString path, QString reason) { return {Kind::Failure, std::move(path), std::move(reason)}; }
    static PathEntry end() { return {}; }
    static PathEntry fatal(QString reason) { return {Kind::Fatal, {}, std::move(reason)}; }
};

// Where a run takes its paths from. The run pulls them only as fast as it
// delivers results, so a source may be endless (a pipe, a device) and may
// produce its paths lazily (a folder walk) while the first ones are counted.
//
// next() is called from one thread at a time, never from the thread that
// owns the run, and may block (reading a pipe). After End or Fatal it is not
// called again. The source is destroyed on the owner's thread once the run
// no longer calls it.
class PathSource
{
public:
    virtual ~PathSource() = default;
    virtual PathEntry next() = 0;
    // Whether next() would answer without waiting for input (a pipe, a walk
    // behind). The run takes paths several at a time, but only those that
    // are there already: a slow pipe must not hold the paths it did send.
    // Called under the same rule as next().
    virtual bool ready() const { return true; }
    // The number of entries when it is known before the run, -1 otherwise;
    // only progress reports use it.
    virtual qint64 sizeHint() const { return -1; }
    // The files of a folder the run met among the paths (it finds out when
    // it opens the path, so a source need not look every path up first),
    // delivered in its place. Null: the folder fails like any path that is
    // not a regular file. Called from a worker thread, possibly while
    // another one is in next(); the run pulls the result from one thread.
    virtual std::unique_ptr<PathSource> folder(const QString &path)
    {
        Q_UNUSED(path);
        return nullptr;
    }
};

// A fixed list, as the window's file list gives it.
class ListPathSource final : public PathSource
{
public:
    explicit ListPathSource(QStringList paths)
        : m_paths(std::move(paths))
    {
    }
    PathEntry next() override
    {
        return m_next < m_paths.size() ? PathEntry::file(m_paths.at(m_next++)) : PathEntry::end();
    }
    qint64 sizeHint() const override { return m_paths.size(); }

private:
    const QStringList m_paths;
    qsizetype m_next = 0;
};

} // namespace brinmoor::counting
