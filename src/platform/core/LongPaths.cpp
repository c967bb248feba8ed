#include "LongPaths.h"

#include <cerrno>
#include <climits>
#include <string>

#include <fcntl.h>
#include <unistd.h>

static_assert(AT_FDCWD == -100, "LongPaths.h spells AT_FDCWD out");

namespace brinmoor {

namespace {

// Closes a folder opened on the way, keeping errno for the caller.
void closeKeepingErrno(int fd)
{
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

} // namespace

int openAtDepth(int folder, std::string_view path, int flags, mode_t mode)
{
    if (path.size() < PATH_MAX)
        return ::openat(folder, std::string(path).c_str(), flags, mode);
    int at = folder;
    std::size_t start = 0;
    if (path.front() == '/') {
        at = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (at < 0)
            return -1;
        start = 1;
    }
    const auto release = [&] {
        if (at != folder)
            closeKeepingErrno(at);
    };
    while (path.size() - start >= PATH_MAX) {
        // The longest run of whole names the system takes at once.
        const std::size_t cut = path.rfind('/', start + PATH_MAX - 1);
        if (cut == std::string_view::npos || cut <= start) {
            release();
            errno = ENAMETOOLONG;   // one name longer than any path
            return -1;
        }
        const int next = ::openat(at, std::string(path.substr(start, cut - start)).c_str(),
                                  O_PATH | O_DIRECTORY | O_CLOEXEC);
        release();
        if (next < 0)
            return -1;
        at = next;
        start = cut + 1;
        while (start < path.size() && path[start] == '/')
            ++start;
    }
    const std::string rest = start < path.size() ? std::string(path.substr(start)) : std::string(".");
    const int fd = ::openat(at, rest.c_str(), flags, mode);
    release();
    return fd;
}

} // namespace brinmoor
