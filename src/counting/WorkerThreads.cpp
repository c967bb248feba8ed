#include "WorkerThreads.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <mutex>
#include <new>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

namespace brinmoor::counting {

void raiseDescriptorLimit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        rlimit limit {};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
            return;
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);   // refused: the run makes do with what it has
    });
}

long descriptorsFree()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<int>::max();
    long used = 0;
    if (DIR *fds = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(fds))
            used += entry->d_name[0] != '.';
        ::closedir(fds);
        --used;   // the listing's own
    } else {
        used = 16;   // a guess where the system does not tell
    }
    return std::max(0L, long(std::min<rlim_t>(limit.rlim_cur, std::numeric_limits<int>::max())) - used);
}

namespace {

void *runThreadBody(void *body)
{
    const std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()> *>(body));
    (*run)();
    return nullptr;
}

} // namespace

int startThread(pthread_t *thread, std::size_t stackSize, std::function<void()> body)
{
    std::function<void()> *owned = nullptr;
    try {
        owned = new std::function<void()>(std::move(body));
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
    pthread_attr_t attributes;
    int rc = ::pthread_attr_init(&attributes);
    if (rc == 0) {
        ::pthread_attr_setstacksize(&attributes, stackSize);
        rc = ::pthread_create(thread, &attributes, runThreadBody, owned);
        ::pthread_attr_destroy(&attributes);
    }
    if (rc != 0)
        delete owned;
    return rc;
}

void lowerThreadPriority(int niceness)
{
#ifdef __linux__
    // Linux keeps a nice value per thread (POSIX has it per process, so
    // elsewhere this would slow the owner too). Only ever raised, which
    // needs no privilege.
    const pid_t thread = ::gettid();
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, id_t(thread));
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, id_t(thread), std::min(nice + niceness, 19));
#else
    (void)niceness;
#endif
}

} // namespace brinmoor::counting
