#include "FolderWalk.h"

#include "FileAttributes.h"
#include "FileNamePattern.h"
#include "FolderListing.h"
#include "ListedNames.h"
#include "LongPaths.h"
#include "NaturalOrder.h"
#include "Paths.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

// The walk works on the file system's own bytes and POSIX calls, and makes a
// QString only for the names it keeps: a large tree is mostly readdir() and
// d_type, with a stat only where d_type cannot answer (symbolic links, file
// systems that leave it unknown). Names become text through pathFromNative,
// so every name, UTF-8 or not, leads back to its file.

namespace brinmoor::filelist {

namespace {

using namespace listing;

// Folders that cannot be listed drop out without a word when that is what
// the platform says for a folder one may not read or that is gone: no
// permission, no such path, no longer a folder, a link loop in the path.
// Everything else (too many open files, out of memory, a path too long for
// the system calls, an I/O error) would lose the folder's files unseen, so it
// is reported.
bool dropsOutSilently(int error)
{
    return error == EACCES || error == EPERM || error == ENOENT || error == ENOTDIR || error == ELOOP;
}

struct FolderId
{
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId &) const = default;
};

struct FolderIdHash
{
    std::size_t operator()(const FolderId &id) const noexcept
    {
        return std::hash<unsigned long long>()(static_cast<unsigned long long>(id.inode) * 0x9e3779b97f4a7c15ull
                                               ^ static_cast<unsigned long long>(id.device));
    }
};

// A folder open for listing, closed however the walk leaves it, also when a
// batch's receiver throws.
class FolderDescriptor
{
public:
    explicit FolderDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FolderDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderDescriptor(const FolderDescriptor &) = delete;
    FolderDescriptor &operator=(const FolderDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    const int m_fd;
};

// Bytes of directory entries asked for at a time: one call takes most
// folders whole, and the next one finds the end.
constexpr std::size_t ListingBytes = 64 * 1024;

// The path with runs of '/' made one and no trailing '/', except that the
// root stays "/". Empty stays empty.
QString cleanFolderPath(const QString &path)
{
    QString result;
    result.reserve(path.size());
    for (const QChar c : path) {
        if (c == u'/' && result.endsWith(u'/'))
            continue;
        result.append(c);
    }
    if (result.size() > 1 && result.endsWith(u'/'))
        result.chop(1);
    return result;
}

// The folder path with the separator that names below it follow: "/" is
// its own, so a root gives "/a.txt".
QString withSeparator(const QString &folder)
{
    return folder == u"/" ? folder : folder + u'/';
}

} // namespace

// The level-by-level walk. Each folder is opened once and read whole: its
// sub-folders are queued behind the folders already waiting, which is the
// level order, and its files handed out a batch at a time, both in natural
// order. A folder's names stay bytes while they are filtered and sorted;
// only the files' paths become text, each made as it is handed out. So the
// walk holds the names of the folder being handed out (about their bytes),
// and the waiting folders as their parents' paths with their own names, not
// as a whole path each; the set of folders seen grows with the tree.
//
// A waiting folder is opened relative to its parent, which is opened once
// for all its sub-folders: paths longer than the system takes whole are
// walked as any other, and the system resolves one name, not the path.
class FolderWalker::Private
{
public:
    Private(const QString &folder, const WalkOptions &options, bool wantFiles)
        : m_options(options)
        , m_pattern(options.pattern)
        , m_root(cleanFolderPath(folder))
        , m_wantFiles(wantFiles)
    {
        if (!m_root.isEmpty()) {
            Waiting root;
            root.names = nativePath(m_root).toStdString();
            root.order.push_back({0, root.names.size()});
            root.isRoot = true;
            m_waiting.push_back(std::move(root));
        }
    }
    ~Private() { closeParent(); }
    Private(const Private &) = delete;
    Private &operator=(const Private &) = delete;

    // Lists the next folder that can be listed: its sub-folders join the
    // queue, its files wait to be handed out. False once none is left or
    // the walk was cancelled.
    bool listNext(QString *listed)
    {
        while (!m_waiting.empty()) {
            if (cancelled())
                return false;
            Waiting &group = m_waiting.front();
            if (group.next == group.order.size()) {
                closeParent();
                m_waiting.pop_front();
                continue;
            }
            const NameSpan span = group.order[group.next++];
            const std::string_view name = std::string_view(group.names).substr(span.offset, span.size);
            const bool atRoot = group.isRoot;
            std::string path;
            if (atRoot) {
                path.assign(name);
            } else {
                path.reserve(group.parent.size() + 1 + name.size());
                path.append(group.parent);
                if (group.parent != "/")
                    path.push_back('/');
                path.append(name);
            }
            off_t size = 0;
            const FolderDescriptor folder(openListing(group, name, path, size));
            if (folder.get() < 0)
                continue;
            const QString native = atRoot ? m_root : pathFromNative(path);
            list(folder.get(), std::move(path), withSeparator(native), size);
            if (listed)
                *listed = native;
            return true;
        }
        return false;
    }

    // Appends up to most files, all of one folder (so that whatever the
    // walk reports about a folder comes between the files before it and
    // those after). False once the walk is over.
    bool nextFiles(QStringList &files, qsizetype most)
    {
        for (;;) {
            if (cancelled())
                return false;
            if (m_files.take(files, std::max<qsizetype>(most, 1)))
                return true;
            if (!listNext(nullptr))
                return false;
        }
    }

private:
    // Folders waiting to be listed: the sub-folders of one parent, by their
    // names, in the order they are to be listed.
    struct Waiting
    {
        std::string parent;
        std::string names;
        std::vector<NameSpan> order;
        std::size_t next = 0;
        bool isRoot = false;
    };

    bool cancelled() const { return m_options.cancel && m_options.cancel->load(std::memory_order_relaxed); }

    void list(int fd, std::string path, const QString &nativePrefix, off_t size)
    {
        Waiting below;
        // A folder's size is about the bytes of its entries.
        const std::size_t expected = std::size_t(std::clamp<off_t>(size, 0, off_t(1) << 30));
        m_files.restart(nativePrefix, m_wantFiles ? expected : 0);
        if (!m_entries)
            m_entries = std::make_unique<std::uint64_t[]>(ListingBytes / sizeof(std::uint64_t));
        char *const entries = reinterpret_cast<char *>(m_entries.get());
        for (;;) {
            const ssize_t got = ::getdents64(fd, entries, ListingBytes);
            if (got <= 0) {
                // A listing that breaks off keeps what was read. A folder
                // removed while it is read has simply ended.
                if (got < 0 && errno != ENOENT)
                    failed(path, errno);
                break;
            }
            for (ssize_t at = 0; at < got;) {
                const auto *entry = reinterpret_cast<const struct dirent64 *>(entries + at);
                at += entry->d_reclen;
                if (isDotOrDotDot(entry->d_name))
                    continue;
                const std::string_view name(entry->d_name);
                const Classified classified = classify(fd, entry->d_name, entry->d_type);
                if (classified.kind == Kind::Folder) {
                    if (keepFolder(name, classified, nativePrefix)) {
                        // Only a large listing is given its room at once:
                        // many small ones wait in the queue at a time.
                        if (below.names.size() >= 64 * 1024 && below.names.capacity() < expected)
                            below.names.reserve(expected);
                        below.order.push_back(stored(below.names, name));
                    }
                } else if (classified.kind == Kind::File && m_wantFiles && keepFile(name, classified)) {
                    m_files.add(name);
                }
            }
        }

        m_files.sort(m_order);
        if (below.order.empty())
            return;
        sortFolderNames(below.names, below.order, m_sorted, m_order);
        // What waits should hold its names, not the room they grew in.
        if (below.names.capacity() > below.names.size() + below.names.size() / 4 + 64)
            below.names.shrink_to_fit();
        below.order.shrink_to_fit();
        below.parent = std::move(path);
        m_waiting.push_back(std::move(below));
    }

    bool keepFolder(std::string_view name, const Classified &classified, const QString &nativePrefix)
    {
        if (m_options.skipBadFolderNames) {
            const bool ascii = isAscii(name);
            const QString decoded = ascii ? QString() : decodedName(name);
            if (ascii ? asciiFolderNameIsBad(name) : HasBadCharacters(decoded)) {
                if (m_options.unshowableFolder && hasEscapedBytes(decoded))
                    m_options.unshowableFolder(nativePrefix + decoded);
                return false;
            }
        }
        // The folder the walk starts from is never tested, only the ones
        // below it.
        const int value = attributeValue({name, true, classified.symlink});
        return value != attribute::HiddenSystemFolder && value != attribute::HiddenSystemFolderLink;
    }

    bool keepFile(std::string_view name, const Classified &classified) const
    {
        if (name.front() == '~' || attributeValue({name, false, classified.symlink}) == attribute::HiddenArchivedFile)
            return false;
        // Most names are ASCII: matched on their bytes.
        return isAscii(name) ? m_pattern.matches(name) : m_pattern.matches(decodedName(name));
    }

    // A descriptor of the folder to list, or -1 when it cannot be listed or
    // was listed before; size is the folder's size.
    int openListing(const Waiting &group, std::string_view name, const std::string &path, off_t &size)
    {
        int fd = -1;
        if (m_options.openFolder) {
            fd = m_options.openFolder(path.c_str());
        } else if (group.isRoot) {
            fd = openAtDepth(path, ListingFlags);
        } else {
            if (!m_parentOpened) {
                m_parentOpened = true;
                m_parent = openAtDepth(group.parent, O_PATH | O_DIRECTORY | O_CLOEXEC);
            }
            // A parent gone meanwhile: the path says what became of it.
            fd = m_parent >= 0 ? ::openat(m_parent, std::string(name).c_str(), ListingFlags)
                               : openAtDepth(path, ListingFlags);
        }
        if (fd < 0) {
            failed(path, errno);
            return -1;
        }
        struct stat status;
        int error = 0;
        if (::fstat(fd, &status) != 0)
            error = errno;
        else if (!S_ISDIR(status.st_mode))
            error = ENOTDIR;
        // Links may lead back up the tree or to a folder walked already:
        // every folder is listed once, under the first path that reached it.
        if (error != 0 || !m_seen.insert(FolderId{status.st_dev, status.st_ino}).second) {
            ::close(fd);
            if (error != 0)
                failed(path, error);
            return -1;
        }
        size = status.st_size;
        return fd;
    }

    void closeParent()
    {
        if (m_parent >= 0)
            ::close(m_parent);
        m_parent = -1;
        m_parentOpened = false;
    }

    void failed(const std::string &path, int error)
    {
        if (!m_options.reportEveryUnlistableFolder && dropsOutSilently(error)) {
            if (m_options.unreadableFolder && (error == EACCES || error == EPERM))
                m_options.unreadableFolder(pathFromNative(path), errorText(error));
            return;
        }
        if (m_options.folderFailed)
            m_options.folderFailed(pathFromNative(path), errorText(error));
    }

    const WalkOptions m_options;
    const FileNamePattern m_pattern;
    const NaturalOrder m_order;
    const QString m_root;
    const bool m_wantFiles;
    std::deque<Waiting> m_waiting;
    // The parent of the folders at the front of m_waiting, opened for them.
    int m_parent = -1;
    bool m_parentOpened = false;
    std::unordered_set<FolderId, FolderIdHash> m_seen;
    // The folder's entries as the system gives them (kept to reuse).
    std::unique_ptr<std::uint64_t[]> m_entries;
    ListedFiles m_files;
    std::vector<std::string_view> m_sorted;
};

FolderWalker::FolderWalker(const QString &folder, const WalkOptions &options)
    : d(std::make_unique<Private>(folder, options, true))
{
}

FolderWalker::~FolderWalker() = default;

bool FolderWalker::nextFiles(QStringList &files, qsizetype most)
{
    return d->nextFiles(files, most);
}

void walkFolder(const QString &folder, const WalkOptions &options,
                const std::function<void(const QStringList &batch)> &onBatch)
{
    const qsizetype batchSize = std::max(1, options.batchSize);
    const auto cancelled = [&options] { return options.cancel && options.cancel->load(std::memory_order_relaxed); };
    QStringList batch;
    batch.reserve(batchSize);
    FolderWalker walker(folder, options);
    while (walker.nextFiles(batch, batchSize - batch.size())) {
        if (batch.size() >= batchSize) {
            onBatch(batch);
            batch.clear();
            // A cancel asked for while a batch was taken in stops the
            // walk at once rather than at the next folder.
            if (cancelled())
                return;
        }
    }
    // A cancelled walk hands over nothing more: its caller has stopped
    // listening.
    if (!cancelled() && !batch.isEmpty())
        onBatch(batch);
}

QStringList walkFolder(const QString &folder, const QString &pattern)
{
    WalkOptions options;
    options.pattern = pattern;
    options.batchSize = 4096;
    QStringList result;
    walkFolder(folder, options, [&result](const QStringList &batch) { result += batch; });
    return result;
}

QStringList GetSubDirectories2016(const QString &folder, const WalkOptions &options)
{
    QStringList folders;
    FolderWalker::Private walk(folder, options, false);
    QString listed;
    while (walk.listNext(&listed))
        folders.append(listed);
    return folders;
}

} // namespace brinmoor::filelist
