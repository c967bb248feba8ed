/* Runs a command under a fault the machine may impose on it: system calls
 * a sandbox refuses, a low limit on open files. seccomp filters and limits
 * survive exec and cannot be lifted, so they are set here, in a process of
 * their own, rather than in a test.
 *
 *   fault-exec [--refuse-uring=EPERM|EAGAIN|EINTR] [--refuse-threads]
 *              [--nofile=SOFT[:HARD]] [--address-space=BYTES] -- COMMAND [ARG...]
 */
#include <errno.h>
#include <sched.h>
#include <seccomp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

static int errno_named(const char *name)
{
    if (strcmp(name, "EPERM") == 0)
        return EPERM;
    if (strcmp(name, "EAGAIN") == 0)
        return EAGAIN;
    if (strcmp(name, "EINTR") == 0)
        return EINTR;
    fprintf(stderr, "fault-exec: unknown errno %s\n", name);
    exit(125);
}

int main(int argc, char **argv)
{
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    int refusing = 0;
    int i = 1;
    for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        const char *arg = argv[i];
        int rc = 0;
        if (strncmp(arg, "--refuse-uring=", 15) == 0) {
            rc = seccomp_rule_add(filter, SCMP_ACT_ERRNO(errno_named(arg + 15)), SCMP_SYS(io_uring_enter), 0);
            refusing = 1;
        } else if (strcmp(arg, "--refuse-threads") == 0) {
            /* clone3's flags lie behind a pointer the filter cannot follow:
             * refusing it as unknown sends the C library to clone, whose
             * thread flag it can see. Processes may still start. */
            rc = seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
            if (rc == 0)
                rc = seccomp_rule_add(filter, SCMP_ACT_ERRNO(EAGAIN), SCMP_SYS(clone), 1,
                                      SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
            refusing = 1;
        } else if (strncmp(arg, "--address-space=", 16) == 0) {
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = strtoul(arg + 16, NULL, 10);
            if (setrlimit(RLIMIT_AS, &limit) != 0) {
                perror("fault-exec: setrlimit");
                return 125;
            }
        } else if (strncmp(arg, "--nofile=", 9) == 0) {
            char *end = NULL;
            struct rlimit limit;
            limit.rlim_cur = strtoul(arg + 9, &end, 10);
            limit.rlim_max = *end == ':' ? strtoul(end + 1, NULL, 10) : limit.rlim_cur;
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
                perror("fault-exec: setrlimit");
                return 125;
            }
        } else {
            fprintf(stderr, "fault-exec: unknown option %s\n", arg);
            return 125;
        }
        if (rc != 0) {
            fprintf(stderr, "fault-exec: seccomp rule: %s\n", strerror(-rc));
            return 125;
        }
    }
    if (i + 1 >= argc) {
        fprintf(stderr, "fault-exec: no command\n");
        return 125;
    }
    if (refusing) {
        const int rc = seccomp_load(filter);
        if (rc != 0) {
            fprintf(stderr, "fault-exec: seccomp_load: %s\n", strerror(-rc));
            return 125;
        }
    }
    seccomp_release(filter);
    execv(argv[i + 1], argv + i + 1);
    perror("fault-exec: exec");
    return 126;
}
