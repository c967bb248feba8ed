// Fuzz target for the counting engine: the input chooses the options, the
// block size and the read sizes, and holds the file. Every kernel must give
// the reference counter's answer, through the byte filter and through the
// automaton reading every byte (many words, or a word longer than the
// filter's look-behind).

#include "EngineTestSupport.h"

#include <cstdio>
#include <cstdlib>

using namespace brinmoor::counting;
using namespace brinmoor::counting::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    static const QStringList pool = {
        QStringLiteral("foo"), QStringLiteral(" K "), QString(QChar(0x212A)), QStringLiteral("\u00E9t"),
        QStringLiteral("a b"), QStringLiteral("\t"), QStringLiteral("\u017F"),
    };
    CountOptions options;
    options.excludeBlank = data[0] & 1;
    for (int i = 0; i < 7; ++i)
        if (data[0] & (2 << i))
            options.excludeWords.append(pool[i]);
    static const QStringList many = {
        QStringLiteral("fo"), QStringLiteral("ok"), QStringLiteral("k k"), QStringLiteral("\u00E9t\u00E9"),
        QStringLiteral("ss"), QStringLiteral("ab"), QStringLiteral("\u212Ao"), QStringLiteral("\U0001F600x"),
        QStringLiteral("a\u017F"),
    };
    if (data[3] & 1)
        options.excludeWords += many;
    if (data[3] & 2)
        options.excludeWords.append(QStringLiteral("O").repeated(70));
    const std::size_t block = data[1] == 0 ? std::size_t{512} * 1024 : 64 + std::size_t{data[1]} * 7;
    const unsigned readSeed = data[2];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 4), static_cast<qsizetype>(size - 4));

    const std::uint64_t expected = referenceCount(bytes, options);
    for (const kernels::Kernel *kernel : allKernels()) {
        unsigned state = readSeed;
        MemorySource source(bytes, [&]() -> std::int64_t {
            if (readSeed == 0)
                return std::int64_t{1} << 40;
            state = state * 1103515245u + 12345u;
            return static_cast<std::int64_t>((state >> 16) % (readSeed < 128 ? 8 : 3 * block) + 1);
        });
        TestOptions fixed(options);
        const FileCount got = countSourceWith(source, fixed, {}, {kernel, block, 0});
        if (!got.ok || got.lines != expected) {
            std::fprintf(stderr, "kernel %s: %llu lines, reference %llu (block %zu, read seed %u)\n", kernel->name,
                         static_cast<unsigned long long>(got.lines), static_cast<unsigned long long>(expected),
                         block, readSeed);
            std::abort();
        }
    }
    return 0;
}
