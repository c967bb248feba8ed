// The results commands through the window with a big results list: fills it
// with N rows (every other one checked), then presses "Save Results As Text
// File", "Copy Results To Clipboard" and "Save Results As Excel File" in turn
// and measures for each the time from the press until its work came back,
// the time the press itself held the GUI thread (dialogs answered at once,
// the rows copied out of the list, the worker started), and the longest gap
// between two ticks of a 10 ms timer meanwhile (how long the window stood
// still at worst).
//
// Usage: brinmoor-results-bench [--rows N] [--skip-workbook] OUTPUT_FOLDER
// Prints one line of key=value pairs per command.

#include "FileListDialogs.h"
#include "MainWindow.h"
#include "ResultsCommands.h"
#include "SettingsStore.h"
#include "TextListModel.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

using namespace brinmoor;

namespace {

class QuietDialogs final : public UserDialogs
{
public:
    MessageAnswer message(const QString &, const QString &text, MessageButtons buttons, MessageIcon) override
    {
        texts.append(text);
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return std::nullopt; }
    QStringList texts;
};

class FixedSaveDialog final : public filelist::FileListDialogs
{
public:
    filelist::FileSelection chooseFiles(const QString &, const QStringList &, int &) override { return {}; }
    QString chooseFolder(const QString &, const QString &) override { return {}; }
    QString chooseSaveFile(const QString &, const QStringList &, int &) override { return path; }
    QString path;
};

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);

    QStringList args = application.arguments().mid(1);
    int rows = 1000000;
    if (const qsizetype at = args.indexOf(QStringLiteral("--rows")); at >= 0 && at + 1 < args.size()) {
        rows = args.at(at + 1).toInt();
        args.remove(at, 2);
    }
    const bool skipWorkbook = args.removeAll(QStringLiteral("--skip-workbook")) > 0;
    if (args.size() != 1 || rows <= 0) {
        QTextStream(stderr) << "usage: brinmoor-results-bench [--rows N] [--skip-workbook] OUTPUT_FOLDER\n";
        return 2;
    }
    const QString output = QDir(args.first()).absolutePath();
    QDir().mkpath(output);

    SettingsStore settings(home.filePath(QStringLiteral("bench.conf")));
    QuietDialogs dialogs;
    FixedSaveDialog saveDialog;
    saveDialog.path = output + QStringLiteral("/results.txt");
    QString workbook;
    app::MainWindow window(app::WindowServices{
        .dialogs = &dialogs,
        .settings = &settings,
        .programFolder = home.path(),
        .websiteAddress = {},
        .drawVisit = {},
        .openUrl = {},
        .countJobs = 0,
        .fileDialogs = &saveDialog,
        .results = {.openWorkbook =
                        [&](const QString &path) {
                            workbook = path;
                            return true;
                        },
                    .spreadsheetInstalled = [] { return true; }},
    });
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

    qint64 longestGapNs = 0;
    QElapsedTimer tickClock;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGapNs = qMax(longestGapNs, tickClock.nsecsElapsed());
        tickClock.restart();
    });

    QStringList commands{QStringLiteral("PushButton9"), QStringLiteral("PushButton18")};
    if (!skipWorkbook)
        commands.append(QStringLiteral("PushButton10"));
    const QStringList names{QStringLiteral("text_file"), QStringLiteral("clipboard"), QStringLiteral("workbook")};

    int next = 0;
    QElapsedTimer clock;
    qint64 pressNs = 0;
    std::function<void()> pressNext = [&] {
        dialogs.texts.clear();
        longestGapNs = 0;
        tickClock.start();
        ticker.start();
        clock.start();
        window.findChild<QPushButton *>(commands.at(next))->click();
        pressNs = clock.nsecsElapsed();
    };
    QObject::connect(&window.resultsCommands(), &app::ResultsCommands::exportFinished, [&] {
        const qint64 totalNs = clock.nsecsElapsed();
        ticker.stop();
        QString size;
        if (next == 0)
            size = QString::number(QFileInfo(saveDialog.path).size());
        else if (next == 2)
            size = QString::number(QFileInfo(workbook).size());
        QTextStream(stdout) << "command=" << names.at(next) << " rows=" << rows
                            << " total_s=" << QString::number(totalNs / 1e9, 'f', 3)
                            << " press_ms=" << QString::number(pressNs / 1e6, 'f', 1)
                            << " longest_gap_ms=" << QString::number(longestGapNs / 1e6, 'f', 1)
                            << " bytes=" << size << " boxes=\"" << dialogs.texts.join(u'|').left(50) << "\"\n";
        if (!workbook.isEmpty())
            QDir(QFileInfo(workbook).path()).removeRecursively();
        if (++next < commands.size())
            QTimer::singleShot(200, pressNext);
        else
            application.quit();
    });
    QTimer::singleShot(200, pressNext);
    application.exec();
    return 0;
}
