// The summary of a large run, after the run: every file's path and count
// added up (as the run delivers them), then the by-extension and by-folder
// tables and their item models built, each timed on its own. The files of
// FOLDER are walked first (their counts are the byte size / 40, a typical
// line length: the summary never reads the files); --synthetic N makes N
// paths in a tree like a large source tree instead.
//
// Usage: brinmoor-summary-bench [--repeat R] FOLDER | --synthetic N
// Prints one line of key=value pairs (milliseconds, best of R).

#include "FolderWalk.h"
#include "Summary.h"
#include "SummaryModels.h"
#include "SummaryTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace brinmoor;

namespace {

struct Entry
{
    QString path;
    quint64 lines;
};

std::vector<Entry> synthetic(int files)
{
    static const char *const extensions[] = {"c", "h", "S", "rst", "txt", "yaml", "sh", "py", "json", "Makefile",
                                             "dts", "dtsi", "Kconfig", "pl", "awk", "rs"};
    std::vector<Entry> entries;
    entries.reserve(std::size_t(files));
    // About 16 files a folder, three levels of 8 to 24 folders each.
    for (int i = 0; i < files; ++i) {
        const int folder = i / 16;
        const QString path = QStringLiteral("/usr/src/linux/d%1/s%2/t%3/file%4.%5")
                                 .arg(folder % 23)
                                 .arg((folder / 23) % 17)
                                 .arg(folder / (23 * 17))
                                 .arg(i)
                                 .arg(QLatin1String(extensions[(i * 7) % 16]));
        entries.push_back({path, quint64(i % 997)});
    }
    return entries;
}

std::vector<Entry> walked(const QString &folder)
{
    std::vector<Entry> entries;
    for (const QString &path : filelist::walkFolder(folder))
        entries.push_back({path, quint64(QFileInfo(path).size() / 40)});
    return entries;
}

template <class F>
double bestMs(int repeat, F &&work)
{
    double best = 1e300;
    for (int r = 0; r < repeat; ++r) {
        QElapsedTimer clock;
        clock.start();
        work();
        best = std::min(best, clock.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    int repeat = 5;
    if (arguments.size() >= 2 && arguments.at(0) == QLatin1String("--repeat")) {
        repeat = arguments.at(1).toInt();
        arguments = arguments.mid(2);
    }
    std::vector<Entry> entries;
    if (arguments.size() == 2 && arguments.at(0) == QLatin1String("--synthetic"))
        entries = synthetic(arguments.at(1).toInt());
    else if (arguments.size() == 1)
        entries = walked(arguments.at(0));
    else {
        QTextStream(stderr) << "usage: brinmoor-summary-bench [--repeat R] FOLDER | --synthetic N\n";
        return 2;
    }

    summary::Summary s;
    const double add = bestMs(repeat, [&] {
        s.clear();
        for (const Entry &e : entries)
            s.add(e.path, e.lines);
    });
    std::size_t rows = 0;
    const double ext = bestMs(repeat, [&] { rows = summary::extensionRows(s).size(); });
    std::size_t folders = 0;
    const double folder = bestMs(repeat, [&] { folders = summary::folderRows(s).size(); });
    const double models = bestMs(repeat, [&] {
        summary::ExtensionModel e;
        summary::FolderModel f;
        e.setSummary(&s, nullptr);
        f.setSummary(&s, nullptr);
        e.refresh();
        f.refresh();
    });
    QTextStream(stdout) << "files=" << entries.size() << " extensions=" << rows << " folders=" << folders
                        << " add_ms=" << add << " extension_table_ms=" << ext << " folder_table_ms=" << folder
                        << " models_ms=" << models << '\n';
    return 0;
}
