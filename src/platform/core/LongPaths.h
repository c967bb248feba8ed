#pragma once

#include <string_view>

#include <sys/types.h>

namespace brinmoor {

// openat(2) for a path of any length. The system refuses a path of PATH_MAX
// bytes or more whole (ENAMETOOLONG) though every folder on the way may be
// opened: such a path is opened a piece at a time, each piece relative to
// the folder the one before it opened. A shorter path costs one openat.
// Relative paths start at folder (AT_FDCWD: the working folder). Returns
// the descriptor, or -1 with errno set.
int openAtDepth(int folder, std::string_view path, int flags, mode_t mode = 0);
inline int openAtDepth(std::string_view path, int flags, mode_t mode = 0)
{
    return openAtDepth(-100 /* AT_FDCWD */, path, flags, mode);
}

} // namespace brinmoor
