#include "FolderListing.h"

#include "FileNamePattern.h"
#include "LongPaths.h"
#include "Paths.h"

#include <memory>
#include <system_error>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brinmoor::filelist {

namespace listing {

namespace {

Kind kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return Kind::Folder;
    if (S_ISREG(mode))
        return Kind::File;
    return Kind::Other;
}

} // namespace

Classified classifyByLookUp(int folderFd, const char *name, bool symlink)
{
    struct stat status;
    if (!symlink) {
        if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            return {};
        if (!S_ISLNK(status.st_mode))
            return {kindOf(status.st_mode), false};
        symlink = true;
    }
    if (::fstatat(folderFd, name, &status, 0) != 0)
        return {Kind::Other, true};
    return {kindOf(status.st_mode), true};
}

QString errorText(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

} // namespace listing

namespace {

using namespace listing;

struct CloseListing
{
    void operator()(DIR *listing) const { ::closedir(listing); }
};
using Listing = std::unique_ptr<DIR, CloseListing>;

bool isBadCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == U'?' || c == 0xfffd;
}

} // namespace

QStringList ListFiles(const QString &folder, const QString &pattern)
{
    QStringList names;
    const int fd = openAtDepth(nativePath(folder).constData(), ListingFlags);
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
        if (classify(fd, entry->d_name, entry->d_type).kind != Kind::File)
            continue;
        const QString name = pathFromNative(entry->d_name);
        if (matcher.matches(name))
            names.append(name);
    }
    return names;
}

bool IsOpenableFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat status;
    return ::stat(nativePath(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat status;
    return ::stat(nativePath(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The file-name encoding here is UTF-8, which holds every character, so
// "a character the encoding lacks" is a lone surrogate, which UTF-8 cannot
// encode (pathFromNative keeps bytes that were not UTF-8 that way), or U+FFFD,
// which stands for such bytes wherever text was decoded lossily. Letters
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
