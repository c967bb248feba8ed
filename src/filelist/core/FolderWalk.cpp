#include "FolderWalk.h"

#include "ErrorReport.h"
#include "FileAttributes.h"
#include "FileNamePattern.h"

#include <QFile>

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The walk works on the file system's own bytes and POSIX calls, and makes a
// QString only for each path it hands out: a large tree is mostly readdir()
// and d_type, with a stat only where d_type cannot answer (symbolic links,
// file systems that leave it unknown).

namespace brinmoor::filelist {

namespace {

// Step of the collector whose failures are reported: looking a folder up.
constexpr int StepLookUpFolder = 112;

int openFolderForListing(const char *path)
{
    // O_DIRECTORY fails on anything else before opening it, so a FIFO in
    // the folder's place cannot block the walk.
    return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

enum class Kind { Other, Folder, File };

struct Classified
{
    Kind kind = Kind::Other;
    bool symlink = false;
};

Kind kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return Kind::Folder;
    if (S_ISREG(mode))
        return Kind::File;
    return Kind::Other;
}

// What a directory entry is, following a symbolic link to what it names. A
// dangling link or a link that cannot be followed is Other.
Classified classify(int folderFd, const dirent &entry)
{
    switch (entry.d_type) {
    case DT_DIR:
        return {Kind::Folder, false};
    case DT_REG:
        return {Kind::File, false};
    case DT_LNK:
    case DT_UNKNOWN:
        break;
    default:
        return {Kind::Other, false};
    }
    struct stat status;
    bool symlink = entry.d_type == DT_LNK;
    if (!symlink) {
        if (::fstatat(folderFd, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            return {};
        if (!S_ISLNK(status.st_mode))
            return {kindOf(status.st_mode), false};
        symlink = true;
    }
    if (::fstatat(folderFd, entry.d_name, &status, 0) != 0)
        return {Kind::Other, true};
    return {kindOf(status.st_mode), true};
}

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool isAscii(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool folderNameIsBad(std::string_view name)
{
    if (isAscii(name)) {
        for (const char c : name) {
            if (c < 0x20 || c == 0x7f || c == '?')
                return true;
        }
        return false;
    }
    return HasBadCharacters(QFile::decodeName(QByteArray::fromRawData(name.data(), qsizetype(name.size()))));
}

// A file name that does not survive decoding (bytes that are not UTF-8)
// would name another file, or none, once it is a QString; like a name whose
// characters the code page lacks, it cannot be opened by its path. Empty
// when that is so.
QString decodedFileName(std::string_view name)
{
    const QByteArray bytes = QByteArray::fromRawData(name.data(), qsizetype(name.size()));
    QString decoded = QFile::decodeName(bytes);
    if (QFile::encodeName(decoded) != bytes)
        return {};
    return decoded;
}

QString errorText(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

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

struct CloseListing
{
    void operator()(DIR *listing) const { ::closedir(listing); }
};
// Closed however the walk leaves the folder, also when a batch's receiver
// throws.
using Listing = std::unique_ptr<DIR, CloseListing>;

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
std::string withSeparator(const std::string &folder)
{
    return folder == "/" ? folder : folder + '/';
}

QString withSeparator(const QString &folder)
{
    return folder == u"/" ? folder : folder + u'/';
}

// The level-by-level walk. Each folder is opened once: its sub-folders are
// queued behind the folders already waiting, which is the level order, and
// its entries are handed to onEntry as they are read. The queue holds only
// folders not yet listed, and the set of folders seen grows with the tree,
// so time and memory stay linear in its size.
class TreeWalk
{
public:
    explicit TreeWalk(const WalkOptions &options)
        : m_options(options)
    {
    }

    // onFolder(nativePath, nativePathWithSeparator) for every folder that
    // could be opened, before its entries; onEntry(kind, name,
    // nativePathWithSeparator) for every entry that is not a folder, which
    // answers false to stop the walk. False when cancelled or stopped.
    template <typename OnFolder, typename OnEntry>
    bool run(const QString &folder, OnFolder &&onFolder, OnEntry &&onEntry)
    {
        const QString root = cleanFolderPath(folder);
        if (root.isEmpty())
            return true;
        std::deque<std::string> waiting;
        waiting.push_back(QFile::encodeName(root).toStdString());
        bool atRoot = true;
        while (!waiting.empty()) {
            if (m_options.cancel && m_options.cancel->load(std::memory_order_relaxed))
                return false;
            const std::string path = std::move(waiting.front());
            waiting.pop_front();
            const Listing listing(openListing(path));
            if (!listing) {
                atRoot = false;
                continue;
            }
            const QString native = atRoot ? root : QFile::decodeName(QByteArray::fromStdString(path));
            atRoot = false;
            const QString nativePrefix = withSeparator(native);
            const std::string prefix = withSeparator(path);
            onFolder(native, nativePrefix);

            const int fd = ::dirfd(listing.get());
            // A failure part-way through the listing ends it without a
            // word; what was read stays.
            while (const dirent *entry = ::readdir(listing.get())) {
                if (isDotOrDotDot(entry->d_name))
                    continue;
                const std::string_view name(entry->d_name);
                const Classified classified = classify(fd, *entry);
                if (classified.kind == Kind::Folder) {
                    if (folderNameIsBad(name))
                        continue;
                    // The folder the walk starts from is never tested, only
                    // the ones below it.
                    const int value = attributeValue({name, true, classified.symlink});
                    if (value == attribute::HiddenSystemFolder || value == attribute::HiddenSystemFolderLink)
                        continue;
                    std::string below;
                    below.reserve(prefix.size() + name.size());
                    below += prefix;
                    below += name;
                    waiting.push_back(std::move(below));
                } else if (!onEntry(classified, name, nativePrefix)) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    DIR *openListing(const std::string &path)
    {
        const int fd = m_options.openFolder ? m_options.openFolder(path.c_str()) : openFolderForListing(path.c_str());
        if (fd < 0) {
            failed(path, errno);
            return nullptr;
        }
        struct stat status;
        if (::fstat(fd, &status) != 0) {
            const int error = errno;
            ::close(fd);
            failed(path, error);
            return nullptr;
        }
        // Links may lead back up the tree or to a folder walked already:
        // every folder is listed once, under the first path that reached it.
        if (!m_seen.insert(FolderId{status.st_dev, status.st_ino}).second) {
            ::close(fd);
            return nullptr;
        }
        DIR *listing = ::fdopendir(fd);
        if (!listing) {
            const int error = errno;
            ::close(fd);
            failed(path, error);
        }
        return listing;
    }

    void failed(const std::string &path, int error)
    {
        if (dropsOutSilently(error) || !m_options.failures)
            return;
        m_options.failures->report(Failure{
            QFile::decodeName(QByteArray::fromStdString(path)) + QStringLiteral(": ") + errorText(error),
            QString::fromLatin1(location::GetSubDirectories2016), StepLookUpFolder});
    }

    const WalkOptions &m_options;
    std::unordered_set<FolderId, FolderIdHash> m_seen;
};

bool isBadCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == U'?' || c == 0xfffd;
}

} // namespace

void walkFolder(const QString &folder, const WalkOptions &options,
                const std::function<void(const QStringList &batch)> &onBatch)
{
    const FileNamePattern pattern(options.pattern);
    const qsizetype batchSize = std::max(1, options.batchSize);
    QStringList batch;
    batch.reserve(batchSize);

    TreeWalk walk(options);
    const bool finished = walk.run(
        folder, [](const QString &, const QString &) {},
        [&](const Classified &entry, std::string_view name, const QString &nativePrefix) {
            if (entry.kind != Kind::File || name.front() == '~')
                return true;
            if (attributeValue({name, false, entry.symlink}) == attribute::HiddenArchivedFile)
                return true;
            QString path;
            if (isAscii(name)) {
                if (!pattern.matches(name))
                    return true;
                path.reserve(nativePrefix.size() + qsizetype(name.size()));
                path += nativePrefix;
                path += QLatin1StringView(name.data(), qsizetype(name.size()));
            } else {
                const QString decoded = decodedFileName(name);
                if (decoded.isEmpty() || !pattern.matches(decoded))
                    return true;
                path = nativePrefix + decoded;
            }
            batch.append(std::move(path));
            if (batch.size() >= batchSize) {
                onBatch(batch);
                batch.clear();
                // A cancel asked for while a batch was taken in stops the
                // walk at once rather than at the next folder.
                return !(options.cancel && options.cancel->load(std::memory_order_relaxed));
            }
            return true;
        });
    // A cancelled walk hands over nothing more: its caller has stopped
    // listening.
    if (finished && !batch.isEmpty())
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
    TreeWalk walk(options);
    walk.run(
        folder, [&folders](const QString &native, const QString &) { folders.append(native); },
        [](const Classified &, std::string_view, const QString &) { return true; });
    return folders;
}

QStringList ListFiles(const QString &folder, const QString &pattern)
{
    QStringList names;
    const int fd = openFolderForListing(QFile::encodeName(folder).constData());
    if (fd < 0)
        return names;
    const Listing listing(::fdopendir(fd));
    if (!listing) {
        ::close(fd);
        return names;
    }
    const FileNamePattern matcher(pattern);
    while (const dirent *entry = ::readdir(listing.get())) {
        if (isDotOrDotDot(entry->d_name))
            continue;
        if (classify(fd, *entry).kind != Kind::File)
            continue;
        const QString name = decodedFileName(entry->d_name);
        if (!name.isEmpty() && matcher.matches(name))
            names.append(name);
    }
    return names;
}

bool IsOpenableFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The file-name encoding here is UTF-8, which holds every character, so
// "a character the encoding lacks" is one that stands for bytes that were
// not UTF-8 (U+FFFD) or a lone surrogate, which UTF-8 cannot encode. Letters
// beyond ASCII are fine: a name is judged by its characters, not by the
// bytes of their encoding.
bool HasBadCharacters(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate() || isBadCharacter(c.unicode()))
            return true;
    }
    return false;
}

} // namespace brinmoor::filelist
