#pragma once

#include <string_view>

namespace brinmoor::filelist {

// The attribute bits that the folder walk's rules are written in. The walk
// compares whole values, not single bits: a folder of exactly 22 or 1046 is
// left out with everything below it, a file of exactly 34 is left out.
namespace attribute {
inline constexpr int Hidden = 2;
inline constexpr int System = 4;
inline constexpr int Directory = 16;
inline constexpr int Archive = 32;
inline constexpr int ReparsePoint = 1024;

inline constexpr int HiddenSystemFolder = Directory | System | Hidden;                    // 22
inline constexpr int HiddenSystemFolderLink = HiddenSystemFolder | ReparsePoint;           // 1046
inline constexpr int HiddenArchivedFile = Archive | Hidden;                                // 34
} // namespace attribute

// What the walk already knows of a directory entry, so that the value can be
// had without asking the file system again.
struct EntryFacts
{
    std::string_view name;   // raw bytes, without folder
    bool folder = false;     // a folder, or a link to one
    bool symlink = false;    // the entry itself is a symbolic link
};

// The attribute value of an entry as this platform maps it; one source file
// per platform decides the mapping.
int attributeValue(const EntryFacts &entry);

} // namespace brinmoor::filelist
