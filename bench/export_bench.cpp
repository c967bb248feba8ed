// The results exports with a million results rows: the text file, the
// clipboard text and the workbook. The text file should take well under 2 s.
#include <AlignedText.h>
#include <ResultsWorkbook.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace brinmoor::exports;

namespace {

constexpr int RowCount = 1'000'000;

// Rows as a counting run makes them, with paths of varied length, every
// row checked so that everything is written.
const ResultRowsSource &millionRows()
{
    static const ResultRowsSource source = [] {
        QList<ResultRowView> rows;
        rows.reserve(RowCount);
        for (int i = 0; i < RowCount; ++i) {
            rows.append({QString::number(i % 5000) + QStringLiteral(" lines - /home/user/projects/module_") +
                             QString::number(i % 97) + QStringLiteral("/src/file_") + QString::number(i) +
                             QStringLiteral(".cpp"),
                         true});
        }
        return ResultRowsSource(QStringLiteral(" Results"), std::move(rows));
    }();
    return source;
}

void BM_TextFile(benchmark::State &state)
{
    const ResultRowsSource &rows = millionRows();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("results.txt"));
    int updates = 0;
    for (auto _ : state) {
        const auto failure = SaveListviewProperlySpaced(rows, path, [&](int, const QString &) { ++updates; });
        if (failure)
            state.SkipWithError(failure->failure.reason.toStdString().c_str());
    }
    state.counters["bytes"] = double(QFileInfo(path).size());
    state.counters["progress_updates_per_run"] = double(updates) / double(state.iterations());
}
BENCHMARK(BM_TextFile)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ClipboardText(benchmark::State &state)
{
    const ResultRowsSource &rows = millionRows();
    qsizetype size = 0;
    for (auto _ : state) {
        const QString text = CopyListviewProperlySpaced(rows);
        size = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    state.counters["utf16_units"] = double(size);
}
BENCHMARK(BM_ClipboardText)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Workbook(benchmark::State &state)
{
    const ResultRowsSource &rows = millionRows();
    for (auto _ : state) {
        const WorkbookFile made = createResultsWorkbook(rows);
        if (!made.failures.isEmpty())
            state.SkipWithError(made.failures.first().failure.reason.toStdString().c_str());
        state.PauseTiming();
        state.counters["bytes"] = double(QFileInfo(made.path).size());
        QDir(QFileInfo(made.path).absolutePath()).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Workbook)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
