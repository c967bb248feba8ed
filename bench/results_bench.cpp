// The results commands through the window with a big results list: fills it
// with N rows (every other one checked), then presses "Save Results As Text
// File", "Copy Results To Clipboard" and "Save Results As Excel File" in turn
// and measures for each the time from the press until its work came back,
// the time the press itself held the GUI thread (dialogs answered at once,
// the rows copied out of the list, the worker started), and the longest gap
// between two ticks of a 10 ms timer meanwhile (how long the window stood
// still at worst).
//
// Then it clicks the results header four times (count ascending and
// descending, path ascending and descending) and measures each sort the
// same way: from the click until the rows are in their new order.
//
// Usage: brinmoor-results-bench [--rows N] [--skip-workbook] [--sort-only] OUTPUT_FOLDER
// (--sort-only leaves the exports out and only sorts.)
// Prints one line of key=value pairs per command.

#include "WindowHarness.h"

#include "ResultsCommands.h"
#include "ResultsOrder.h"
#include "TextListModel.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTextStream>

using namespace brinmoor;

int main(int argc, char *argv[])
{
    bench::BenchHome home;
    QApplication application(argc, argv);

    QStringList args = application.arguments().mid(1);
    const QString rowsOption = bench::takeOption(args, QStringLiteral("--rows"));
    const int rows = rowsOption.isEmpty() ? 1000000 : rowsOption.toInt();
    const bool skipWorkbook = args.removeAll(QStringLiteral("--skip-workbook")) > 0;
    const bool sortOnly = args.removeAll(QStringLiteral("--sort-only")) > 0;
    if (args.size() != 1 || rows <= 0) {
        QTextStream(stderr)
            << "usage: brinmoor-results-bench [--rows N] [--skip-workbook] [--sort-only] OUTPUT_FOLDER\n";
        return 2;
    }
    const QString output = QDir(args.first()).absolutePath();
    QDir().mkpath(output);

    SettingsStore settings(home.filePath(QStringLiteral("bench.conf")));
    bench::AnsweringDialogs dialogs;
    bench::FixedFileDialogs saveDialog;
    saveDialog.savePath = output + QStringLiteral("/results.txt");
    QString workbook;
    app::WindowServices services = bench::benchServices(home, settings, dialogs, saveDialog);
    services.results = {.findSpreadsheet = [] { return DesktopApplication{}; },
                        .openWorkbook =
                            [&](const DesktopApplication &, const QString &path) {
                                workbook = path;
                                return true;
                            }};
    app::MainWindow window(std::move(services));
    window.startUp();
    window.show();

    // Rows as a separate-counts run over a source tree makes them.
    for (int i = 0; i < rows;) {
        QStringList batch;
        for (int k = 0; k < 10000 && i < rows; ++k, ++i)
            batch.append(QString::number(i % 4000) + QStringLiteral(" lines - /usr/src/linux-source-6.1/drivers/")
                         + QString::number(i) + QStringLiteral("/file.c"));
        window.results().append(batch, false);
    }
    for (int i = 0; i < rows; i += 2)
        window.results().setChecked(i, true);

    bench::StallMeter stalls(10);

    QStringList commands{QStringLiteral("PushButton9"), QStringLiteral("PushButton18")};
    if (!skipWorkbook)
        commands.append(QStringLiteral("PushButton10"));
    const QStringList names{QStringLiteral("text_file"), QStringLiteral("clipboard"), QStringLiteral("workbook")};

    int next = 0;
    QElapsedTimer clock;
    qint64 pressNs = 0;
    std::function<void()> sortNext;
    std::function<void()> pressNext = [&] {
        dialogs.texts.clear();
        stalls.start();
        clock.start();
        window.findChild<QPushButton *>(commands.at(next))->click();
        pressNs = clock.nsecsElapsed();
    };
    QObject::connect(&window.resultsCommands(), &app::ResultsCommands::exportFinished, [&] {
        const qint64 totalNs = clock.nsecsElapsed();
        stalls.stop();
        QString size;
        if (next == 0)
            size = QString::number(QFileInfo(saveDialog.savePath).size());
        else if (next == 2)
            size = QString::number(QFileInfo(workbook).size());
        QTextStream(stdout) << "command=" << names.at(next) << " rows=" << rows
                            << " total_s=" << QString::number(totalNs / 1e9, 'f', 3)
                            << " press_ms=" << QString::number(pressNs / 1e6, 'f', 1)
                            << " longest_gap_ms=" << stalls.longestMs()
                            << " bytes=" << size << " boxes=\"" << dialogs.texts.join(u'|').left(50) << "\"\n";
        if (!workbook.isEmpty())
            QDir(QFileInfo(workbook).path()).removeRecursively();
        if (++next < commands.size())
            QTimer::singleShot(200, pressNext);
        else
            QTimer::singleShot(200, sortNext);
    });
    const QStringList sorts{QStringLiteral("sort_count_up"), QStringLiteral("sort_count_down"),
                            QStringLiteral("sort_path_up"), QStringLiteral("sort_path_down")};
    int sortIndex = 0;
    sortNext = [&] {
        stalls.start();
        clock.start();
        window.resultsOrder().sortNext();
        pressNs = clock.nsecsElapsed();
    };
    QObject::connect(&window.resultsOrder(), &app::ResultsOrder::sorted, [&] {
        const qint64 totalNs = clock.nsecsElapsed();
        stalls.stop();
        QTextStream(stdout) << "command=" << sorts.at(sortIndex) << " rows=" << rows
                            << " total_s=" << QString::number(totalNs / 1e9, 'f', 3)
                            << " press_ms=" << QString::number(pressNs / 1e6, 'f', 1)
                            << " longest_gap_ms=" << stalls.longestMs() << " first_row=\""
                            << window.results().text(0) << "\"\n";
        if (++sortIndex < sorts.size())
            QTimer::singleShot(200, sortNext);
        else
            application.quit();
    });
    if (sortOnly)
        QTimer::singleShot(200, sortNext);
    else
        QTimer::singleShot(200, pressNext);
    application.exec();
    return 0;
}
