// Runs the fuzz target without libFuzzer: over the files named on the
// command line, or else over a fixed set of generated inputs (ctest).

#include <QByteArray>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

void run(const QByteArray &input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(input.constData()),
                           static_cast<std::size_t>(input.size()));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            QFile file(QString::fromLocal8Bit(argv[i]));
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 1;
            }
            run(file.readAll());
        }
        return 0;
    }
    // Seeds like the ones a fuzzer starts from: headers, breaks, words,
    // broken and multi-byte UTF-8, byte-order marks.
    static const std::vector<std::string> tokens = {
        "\r", "\n", "\r\n", " ", "\t", "foo", "FOO", "k", "K", "\xE2\x84\xAA", "\xC3\xA9t", "\xC3\x89T", "a b",
        "\xC5\xBF", "\xFF", "\xE2\x82", "\xF0\x9F\x98", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", std::string(1, '\0'),
        "ab\xC5\xBF", "\xE2\x84\xAAo", "\xF0\x9F\x98\x80X", "fOo", std::string(80, 'o'),
    };
    std::mt19937 rng(4242);
    for (int round = 0; round < 400; ++round) {
        std::string input;
        input += static_cast<char>(rng());
        input += static_cast<char>(round % 3 == 0 ? 0 : rng());
        input += static_cast<char>(round % 5 == 0 ? 0 : rng());
        input += static_cast<char>(rng() % 4);
        const int count = static_cast<int>(rng() % (round % 10 == 0 ? 600 : 40));
        for (int i = 0; i < count; ++i)
            input += tokens[rng() % tokens.size()];
        run(QByteArray::fromStdString(input));
    }
    std::printf("engine fuzz replay: 400 generated inputs agree\n");
    return 0;
}
