#include "FileAttributes.h"

namespace brinmoor::filelist {

// POSIX file systems have none of these attributes; this is the mapping:
//   hidden        = the name starts with '.' (what file managers and ls hide);
//   system        = never set: nothing marks a file as the system's own;
//   directory     = a folder, or a symbolic link to one;
//   archive       = set on every file that is not a folder: the attribute is
//                   set on every file written, so it is as good as always on;
//   reparse point = the entry is a symbolic link.
// What follows for the walk: folder values 22 and 1046 never occur (no
// system bit), so hidden folders are walked like any other; a dot-file is 34
// and left out; a symbolic link named with a dot is 1058 and kept, as a
// hidden file with other bits is kept.
int attributeValue(const EntryFacts &entry)
{
    int value = 0;
    if (!entry.name.empty() && entry.name.front() == '.')
        value |= attribute::Hidden;
    value |= entry.folder ? attribute::Directory : attribute::Archive;
    if (entry.symlink)
        value |= attribute::ReparsePoint;
    return value;
}

} // namespace brinmoor::filelist
