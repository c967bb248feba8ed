// Throughput of the counting engine in memory: per kernel, per option set,
// per block size, and the raw kernels without the read loop around them.

#include "CountEngine.h"
#include "SharedOptions.h"
#include "kernels/Kernels.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

#include <cstring>
#include <random>
#include <string>

using namespace brinmoor::counting;

namespace {

// Lines like source code and prose: words of mixed case, indentation, blank
// lines, a rare non-ASCII word. LF endings.
const QByteArray &sampleText()
{
    static const QByteArray text = [] {
        static const char *words[] = {"the", "value", "return", "if", "for", "Error", "count", "line", "buffer",
                                      "static", "const", "int", "while", "struct", "file", "read", "write",
                                      "size", "Data", "result", "caf\xC3\xA9", "next", "index", "return;"};
        std::mt19937 rng(7);
        std::string out;
        out.reserve(64 << 20);
        while (out.size() < (std::size_t{64} << 20)) {
            const unsigned kind = rng() % 10;
            if (kind == 0) {
                out += '\n';
                continue;
            }
            out.append(static_cast<std::size_t>(rng() % 4) * 4, ' ');
            const unsigned count = rng() % 12 + 1;
            for (unsigned i = 0; i < count; ++i) {
                if (i)
                    out += ' ';
                out += words[rng() % std::size(words)];
            }
            out += '\n';
        }
        return QByteArray::fromStdString(out);
    }();
    return text;
}

// Hands out the sample in reads of the block size (one memcpy, like read()).
class SampleSource final : public ByteSource
{
public:
    std::int64_t read(char *buffer, std::int64_t max) override
    {
        const QByteArray &text = sampleText();
        const std::int64_t n = std::min<std::int64_t>(max, text.size() - m_position);
        std::memcpy(buffer, text.constData() + m_position, static_cast<std::size_t>(n));
        m_position += n;
        return n;
    }
    QString errorString() const override { return {}; }

private:
    std::int64_t m_position = 0;
};

const kernels::Kernel *kernelAt(std::int64_t index)
{
    const auto all = kernels::availableKernels();
    return index < static_cast<std::int64_t>(all.size()) ? all[static_cast<std::size_t>(index)] : nullptr;
}

// count words of 4 to 10 random letters; the text holds none of them.
QStringList generatedWords(int count)
{
    std::mt19937 rng(static_cast<unsigned>(count));
    QStringList words;
    for (int i = 0; i < count; ++i) {
        QString word;
        for (unsigned length = rng() % 7 + 4; length > 0; --length)
            word += QChar(static_cast<char16_t>(u'a' + rng() % 26));
        words.append(word);
    }
    return words;
}

CountOptions optionsFor(std::int64_t set)
{
    switch (set) {
    case 0: return {false, {}};
    case 1: return {true, {}};
    case 2: return {false, {"error", "TODO", "deprecated", "buffer", "xyzzy"}};
    case 3: return {false, {"xyzzy", "qwertz", "zzyzx", "plugh", "frobnicate"}};   // never found
    case 4: return {false, generatedWords(10)};
    case 5: return {false, generatedWords(1000)};
    case 6: return {false, generatedWords(10000)};
    default: return {false, {QString(10000, u'e')}};   // one long word
    }
}

std::string optionsLabel(std::int64_t set)
{
    static const char *labels[] = {"plain", "blank", "5 words", "5 absent words", "10 words", "1000 words",
                                   "10000 words", "one 10000-letter word"};
    return labels[set];
}

void BM_CountSource(benchmark::State &state)
{
    const kernels::Kernel *kernel = kernelAt(state.range(0));
    if (!kernel) {
        state.SkipWithError("kernel not supported by this CPU");
        return;
    }
    sampleText();   // built once, outside the timing
    const FixedOptions options(optionsFor(state.range(1)));
    const auto block = static_cast<std::size_t>(state.range(2)) * 1024;
    for (auto _ : state) {
        SampleSource source;
        benchmark::DoNotOptimize(countSourceWith(source, options, {}, {kernel, block, 0}).lines);
    }
    state.SetBytesProcessed(state.iterations() * sampleText().size());
    state.SetLabel(std::string(kernel->name) + " " + optionsLabel(state.range(1)));
}
BENCHMARK(BM_CountSource)
    ->ArgNames({"kernel", "options", "blockKiB"})
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3, 4, 5, 6, 7}, {512}})
    ->ArgsProduct({{2}, {0}, {64, 128, 256, 1024, 4096}})
    ->Unit(benchmark::kMillisecond);

// The kernels alone over data already in memory.
void BM_KernelEnds(benchmark::State &state)
{
    const kernels::Kernel *kernel = kernelAt(state.range(0));
    if (!kernel) {
        state.SkipWithError("kernel not supported by this CPU");
        return;
    }
    const QByteArray padded = QByteArray(64, '\n') + sampleText() + QByteArray(64, '\0');
    const auto *p = reinterpret_cast<const unsigned char *>(padded.constData()) + 64;
    const auto n = static_cast<std::size_t>(sampleText().size());
    for (auto _ : state) {
        if (state.range(1) == 0) {
            benchmark::DoNotOptimize(kernel->countEnds(p, n));
        } else {
            bool carry = false;
            benchmark::DoNotOptimize(kernel->countNonBlankEnds(p, n, carry));
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n));
    state.SetLabel(std::string(kernel->name) + (state.range(1) == 0 ? " ends" : " non-blank ends"));
}
BENCHMARK(BM_KernelEnds)->ArgNames({"kernel", "blank"})->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace
