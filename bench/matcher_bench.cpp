// The exclusion word matcher on its own: how long preparing a word list takes
// and how much memory it holds once built and at its peak while building.
// Usage: matcher_bench CASE   (CASE: long, short, twelve, huge)
//   long    10,000 words of 10,000 random letters (100 MB of words)
//   short   1,000,000 words of 4 to 12 random letters
//   twelve  240,000 words of 12 random letters
//   huge    one word of 50,000,000 random letters
// Prints one line: case, bytes of words, processor seconds, matcher bytes, resident
// growth after the build and at its peak (MiB), bytes of matcher per byte of words.
#include "PreparedOptions.h"

#include <QStringList>

#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

using namespace brinmoor::counting;

namespace {

long statusKiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0)
            return std::stol(line.substr(n + 1));
    return 0;
}

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

QStringList randomWords(std::size_t count, int minLength, int maxLength)
{
    std::mt19937_64 rng(7);
    QStringList words;
    words.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const int length = minLength + static_cast<int>(rng() % static_cast<unsigned>(maxLength - minLength + 1));
        QString word(length, Qt::Uninitialized);
        for (QChar &c : word)
            c = QChar(u'a' + static_cast<char16_t>(rng() % 26));
        words.append(word);
    }
    return words;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string which = argc > 1 ? argv[1] : "long";
    QStringList words;
    if (which == "long")
        words = randomWords(10000, 10000, 10000);
    else if (which == "short")
        words = randomWords(1000000, 4, 12);
    else if (which == "twelve")
        words = randomWords(240000, 12, 12);
    else if (which == "huge")
        words = randomWords(1, 50000000, 50000000);
    else {
        std::fprintf(stderr, "matcher_bench: unknown case %s\n", which.c_str());
        return 2;
    }
    std::size_t bytes = 0;
    for (const QString &w : std::as_const(words))
        bytes += static_cast<std::size_t>(w.size());   // ASCII: one byte a letter

    const CountOptions options{false, words};
    const long before = statusKiB("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";   // resets the peak to now
    // Processor time, not wall time: the build runs on one thread, and the
    // figure stays put when other work shares the machine.
    const double start = cpuSeconds();
    auto prepared = prepareOptions(options);
    const double seconds = cpuSeconds() - start;
    const long after = statusKiB("VmRSS:");
    const long peak = statusKiB("VmHWM:");
    const std::size_t matcher = prepared->automaton().memoryBytes();
    std::printf("%s words=%zu bytes=%zu cpu_seconds=%.2f matcher=%zu held_mib=%.1f peak_mib=%.1f per_byte=%.2f\n",
                which.c_str(), prepared->wordCount(), bytes, seconds, matcher, (after - before) / 1024.0,
                (peak - before) / 1024.0, double(matcher) / double(bytes));
    return 0;
}
