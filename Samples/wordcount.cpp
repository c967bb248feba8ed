// A small line counter, written the plain way: read a file, count the
// line breaks, and report the total. Any of the three usual line ends
// counts, and a last line without a break still counts as a line.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

long countLines(std::istream &in)
{
    long lines = 0;
    bool open = false;   // characters seen since the last line end
    char previous = '\0';
    char c;
    while (in.get(c)) {
        if (c == '\n') {
            if (previous != '\r')
                ++lines;
            open = false;
        } else if (c == '\r') {
            ++lines;
            open = false;
        } else {
            open = true;
        }
        previous = c;
    }
    return open ? lines + 1 : lines;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::cerr << "usage: wordcount FILE...\n";
        return 2;
    }
    long total = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        if (!file) {
            std::cerr << argv[i] << ": cannot open\n";
            continue;
        }
        const long lines = countLines(file);
        std::printf("%ld lines - %s\n", lines, argv[i]);
        total += lines;
    }
    std::printf("%ld lines in total\n", total);
    return 0;
}
