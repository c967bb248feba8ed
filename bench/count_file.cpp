// bench_count_file [-b|--blank] [-x WORD]... [--no-split] [--block KIB] FILE
// Counts one file with the engine alone (no run, no threads pool) and
// prints the line count: the engine's share of the console program's time.

#include "CountEngine.h"
#include "SharedOptions.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace brinmoor::counting;

int main(int argc, char **argv)
{
    CountOptions options;
    EngineConfig config;
    const char *path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--blank") == 0 || std::strcmp(argv[i], "-b") == 0)
            options.excludeBlank = true;
        else if (std::strcmp(argv[i], "-x") == 0 && i + 1 < argc)
            options.excludeWords.append(QString::fromLocal8Bit(argv[++i]));
        else if (std::strcmp(argv[i], "--no-split") == 0)
            config.splitThreshold = 0;
        else if (std::strcmp(argv[i], "--block") == 0 && i + 1 < argc)
            config.blockSize = std::strtoul(argv[++i], nullptr, 10) * 1024;
        else
            path = argv[i];
    }
    if (!path) {
        std::fprintf(stderr, "usage: bench_count_file [-b|--blank] [-x WORD]... [--no-split] [--block KIB] FILE\n");
        return 2;
    }
    const FixedOptions source(options);
    const FileCount result = countFileWith(QString::fromLocal8Bit(path), source, {}, config);
    if (!result.ok) {
        std::fprintf(stderr, "bench_count_file: %s\n", qPrintable(result.error));
        return 1;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(result.lines));
    return 0;
}
