#pragma once

#include <QString>
#include <QStringList>

#include <string_view>

#include <dirent.h>
#include <fcntl.h>

namespace brinmoor::filelist {

// The file list's building blocks: single look-ups and one folder's listing,
// used by the walk and by the file list's other commands.

// The names (without folder) of the files in that one folder that match the
// pattern and pass IsOpenableFile, in directory order; none when the folder
// cannot be listed.
QStringList ListFiles(const QString &folder, const QString &pattern);
// An existing regular file, following symbolic links. Folders, FIFOs,
// devices and sockets answer false (and are never opened); a file without
// read access answers true, the count reports it.
bool IsOpenableFile(const QString &path);
// The path exists and is a folder (following symbolic links).
bool IsFolder(const QString &path);
// A folder name the scan passes over: a control character (below U+0020 or
// U+007F to U+009F), '?', or a character the file-name encoding cannot hold
// (U+FFFD, or an unpaired surrogate, which is how pathFromNative keeps bytes
// that were not valid UTF-8).
bool HasBadCharacters(const QString &name);

namespace listing {

// O_DIRECTORY fails on anything else before opening it, so a FIFO in the
// folder's place cannot block the walk.
inline constexpr int ListingFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

enum class Kind { Other, Folder, File };

struct Classified
{
    Kind kind = Kind::Other;
    bool symlink = false;
};

// What an entry whose type the listing leaves open (a symbolic link, or a
// file system that does not say) is, by a look-up.
Classified classifyByLookUp(int folderFd, const char *name, bool symlink);

// What a directory entry is, following a symbolic link to what it names. A
// dangling link or a link that cannot be followed is Other. Inline: the walk
// asks for every entry, and most answer from their type alone.
inline Classified classify(int folderFd, const char *name, unsigned char type)
{
    switch (type) {
    case DT_DIR:
        return {Kind::Folder, false};
    case DT_REG:
        return {Kind::File, false};
    case DT_LNK:
    case DT_UNKNOWN:
        return classifyByLookUp(folderFd, name, type == DT_LNK);
    default:
        return {Kind::Other, false};
    }
}

inline bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

inline bool isAscii(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// HasBadCharacters for a name of ASCII bytes, without making it text.
inline bool asciiFolderNameIsBad(std::string_view name)
{
    for (const char c : name) {
        if (c < 0x20 || c == 0x7f || c == '?')
            return true;
    }
    return false;
}

// The system's text for an errno value.
QString errorText(int error);

} // namespace listing

} // namespace brinmoor::filelist
