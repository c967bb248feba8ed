// The counting run through the window: fills the file list from a folder,
// presses "Start Counting" and measures, until the run has finished, the
// longest gap between two ticks of a 10 ms timer on the GUI thread (how long
// the window stood still at worst) and the run's wall time.
//
// Usage: brinmoor-window-bench [--separate] [--jobs N] [--write-list FILE] FOLDER
//        brinmoor-window-bench --fill-results N
// The second form appends N results rows in batches, as a long run does,
// and measures the same gap. Prints one line of key=value pairs.

#include "FolderWalk.h"
#include "MainWindow.h"
#include "SettingsStore.h"
#include "TextListModel.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

using namespace brinmoor;

namespace {

class QuietDialogs final : public UserDialogs
{
public:
    MessageAnswer message(const QString &, const QString &text, MessageButtons, MessageIcon) override
    {
        texts.append(text);
        return MessageAnswer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return std::nullopt; }
    QStringList texts;
};

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);

    QStringList args = application.arguments().mid(1);
    const bool separate = args.removeAll(QStringLiteral("--separate")) > 0;
    int jobs = 0;
    if (const qsizetype at = args.indexOf(QStringLiteral("--jobs")); at >= 0 && at + 1 < args.size()) {
        jobs = args.at(at + 1).toInt();
        args.remove(at, 2);
    }
    QString listFile;
    if (const qsizetype at = args.indexOf(QStringLiteral("--write-list")); at >= 0 && at + 1 < args.size()) {
        listFile = args.at(at + 1);
        args.remove(at, 2);
    }
    int fillRows = 0;
    if (const qsizetype at = args.indexOf(QStringLiteral("--fill-results")); at >= 0 && at + 1 < args.size()) {
        fillRows = args.at(at + 1).toInt();
        args.remove(at, 2);
    }
    if (args.size() != (fillRows > 0 ? 0 : 1)) {
        QTextStream(stderr) << "usage: brinmoor-window-bench [--separate] [--jobs N] FOLDER\n"
                               "       brinmoor-window-bench --fill-results N\n";
        return 2;
    }

    SettingsStore settings(home.filePath(QStringLiteral("bench.conf")));
    QuietDialogs dialogs;
    app::MainWindow window(app::WindowServices{
        .dialogs = &dialogs,
        .settings = &settings,
        .programFolder = home.path(),
        .websiteAddress = {},
        .drawVisit = {},
        .openUrl = {},
        .countJobs = jobs,
    });
    window.startUp();
    window.show();

    qint64 longestGapNs = 0;
    QElapsedTimer tickClock;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGapNs = qMax(longestGapNs, tickClock.nsecsElapsed());
        tickClock.restart();
    });

    if (fillRows > 0) {
        // Batches of the size a 50 ms flush of a fast run collects.
        constexpr int Batch = 5000;
        QStringList batch;
        for (int i = 0; i < Batch; ++i)
            batch.append(QString::number(i) + QStringLiteral(" lines - /usr/src/linux/drivers/some/file.c"));
        QElapsedTimer fillClock;
        int added = 0;
        QTimer filler;
        QObject::connect(&filler, &QTimer::timeout, [&] {
            window.results().append(batch, true);
            added += Batch;
            if (added >= fillRows) {
                filler.stop();
                ticker.stop();
                application.quit();
            }
        });
        QTimer::singleShot(100, [&] {
            tickClock.start();
            ticker.start();
            fillClock.start();
            filler.start(0);
        });
        application.exec();
        QTextStream(stdout) << "rows=" << window.results().count()
                            << " fill_s=" << QString::number(fillClock.nsecsElapsed() / 1e9, 'f', 3)
                            << " longest_gap_ms=" << QString::number(longestGapNs / 1e6, 'f', 1) << "\n";
        return 0;
    }

    QElapsedTimer walkClock;
    walkClock.start();
    window.fileList().append(filelist::walkFolder(args.first()));
    const double walkSeconds = walkClock.nsecsElapsed() / 1e9;
    if (!listFile.isEmpty()) {
        // The same files, for the console program to count.
        QFile list(listFile);
        if (!list.open(QIODevice::WriteOnly))
            return 1;
        for (const QString &path : window.fileList().texts())
            list.write(path.toUtf8() + '\0');
    }
    if (separate)
        window.findChild<QRadioButton *>(QStringLiteral("Option2"))->click();

    QElapsedTimer runClock;
    double runSeconds = 0;
    QObject::connect(&window, &app::MainWindow::countingFinished, [&] {
        runSeconds = runClock.nsecsElapsed() / 1e9;
        ticker.stop();
        application.quit();
    });
    QTimer::singleShot(100, [&] {
        tickClock.start();
        ticker.start();
        runClock.start();
        window.findChild<QPushButton *>(QStringLiteral("PushButton12"))->click();
    });
    application.exec();

    const QString lastRow = window.results().count() > 0 ? window.results().text(window.results().count() - 1)
                                                           : QString();
    QTextStream(stdout) << "files=" << window.fileList().count() << " rows=" << window.results().count()
                        << " walk_s=" << QString::number(walkSeconds, 'f', 3)
                        << " run_s=" << QString::number(runSeconds, 'f', 3)
                        << " longest_gap_ms=" << QString::number(longestGapNs / 1e6, 'f', 1)
                        << " boxes=" << dialogs.texts.size() << " last_row=\"" << lastRow << "\"\n";
    return 0;
}
