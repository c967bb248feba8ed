/* The read limit of the tree benchmark: open, read and close every file of
 * a NUL-separated list with N threads and a 256 KiB buffer, nothing else.
 * Usage: bench-read-limit THREADS LIST */
#define _GNU_SOURCE
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { BufferSize = 256 * 1024 };

static char **paths;
static size_t count;
static atomic_size_t next;

static void *reader(void *unused)
{
    (void)unused;
    /* Page-aligned: the kernel copies into a misaligned buffer at a
     * fraction of the speed, which would make this no limit at all. */
    void *buffer = NULL;
    if (posix_memalign(&buffer, 4096, BufferSize) != 0)
        abort();
    for (size_t i; (i = atomic_fetch_add(&next, 1)) < count;) {
        const int fd = open(paths[i], O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        while (read(fd, buffer, BufferSize) > 0) {
        }
        close(fd);
    }
    free(buffer);
    return NULL;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s THREADS LIST\n", argv[0]);
        return 2;
    }
    const int threads = atoi(argv[1]);
    FILE *list = fopen(argv[2], "rb");
    if (threads < 1 || !list) {
        fprintf(stderr, "%s: bad thread count or list\n", argv[0]);
        return 2;
    }
    size_t capacity = 1024;
    paths = malloc(capacity * sizeof *paths);
    char *line = NULL;
    size_t size = 0;
    ssize_t got;
    while ((got = getdelim(&line, &size, '\0', list)) > 0) {
        if (count == capacity)
            paths = realloc(paths, (capacity *= 2) * sizeof *paths);
        paths[count++] = strndup(line, (size_t)got);
    }
    fclose(list);
    pthread_t *ids = malloc((size_t)threads * sizeof *ids);
    for (int t = 0; t < threads; ++t)
        pthread_create(&ids[t], NULL, reader, NULL);
    for (int t = 0; t < threads; ++t)
        pthread_join(ids[t], NULL);
    return 0;
}
