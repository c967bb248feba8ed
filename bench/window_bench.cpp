// The counting run through the window: fills the file list from a folder,
// presses "Start Counting" and measures, until the run has finished, the
// longest gap between two ticks of a 10 ms timer on the GUI thread (how long
// the window stood still at worst) and the run's wall time.
//
// With --summary the summary window is open (By Folder) during the run.
//
// With --stop-midway the stop control is pressed once the progress bar
// passes 50 %, and the time from that press until the window is idle (busy
// pointer gone, run finished) is measured as well.
//
// Usage: brinmoor-window-bench [--separate] [--jobs N] [--write-list FILE] [--stop-midway] FOLDER
//        brinmoor-window-bench --fill-results N
// The second form appends N results rows in batches, as a long run does,
// and measures the same gap. Prints one line of key=value pairs.

#include "WindowHarness.h"

#include "FolderWalk.h"
#include "CaptionProgressBar.h"
#include "SummaryCommands.h"
#include "SummaryWindow.h"
#include "TextListModel.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTextStream>

using namespace brinmoor;

namespace {

int fillResults(QApplication &application, app::MainWindow &window, int rows)
{
    // Batches of the size a 50 ms flush of a fast run collects.
    constexpr int Batch = 5000;
    QStringList batch;
    for (int i = 0; i < Batch; ++i)
        batch.append(QString::number(i) + QStringLiteral(" lines - /usr/src/linux/drivers/some/file.c"));
    bench::StallMeter stalls(10);
    QElapsedTimer fillClock;
    int added = 0;
    QTimer filler;
    QObject::connect(&filler, &QTimer::timeout, [&] {
        window.results().append(batch, true);
        added += Batch;
        if (added >= rows) {
            filler.stop();
            stalls.stop();
            application.quit();
        }
    });
    QTimer::singleShot(100, [&] {
        stalls.start();
        fillClock.start();
        filler.start(0);
    });
    application.exec();
    QTextStream(stdout) << "rows=" << window.results().count()
                        << " fill_s=" << QString::number(fillClock.nsecsElapsed() / 1e9, 'f', 3)
                        << " longest_gap_ms=" << stalls.longestMs() << "\n";
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    bench::BenchHome home;
    QApplication application(argc, argv);

    QStringList args = application.arguments().mid(1);
    const bool separate = args.removeAll(QStringLiteral("--separate")) > 0;
    const bool stopMidway = args.removeAll(QStringLiteral("--stop-midway")) > 0;
    const bool withSummary = args.removeAll(QStringLiteral("--summary")) > 0;
    const int jobs = bench::takeOption(args, QStringLiteral("--jobs")).toInt();
    const QString listFile = bench::takeOption(args, QStringLiteral("--write-list"));
    const int fillRows = bench::takeOption(args, QStringLiteral("--fill-results")).toInt();
    if (args.size() != (fillRows > 0 ? 0 : 1)) {
        QTextStream(stderr) << "usage: brinmoor-window-bench [--separate] [--jobs N] [--write-list FILE] [--stop-midway] [--summary] "
                               "FOLDER\n"
                               "       brinmoor-window-bench --fill-results N\n";
        return 2;
    }

    SettingsStore settings(home.filePath(QStringLiteral("bench.conf")));
    bench::AnsweringDialogs dialogs;
    bench::FixedFileDialogs fileDialogs;
    app::WindowServices services = bench::benchServices(home, settings, dialogs, fileDialogs);
    services.countJobs = jobs;
    app::MainWindow window(std::move(services));
    window.startUp();
    window.show();

    if (fillRows > 0)
        return fillResults(application, window, fillRows);

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
    // The summary window open on the By Folder view, following the run.
    if (withSummary) {
        window.summaryCommands().showSummary();
        window.summaryCommands().summaryWindow()->setCurrentView(summary::SummaryView::Folder);
    }

    bench::StallMeter stalls(10);
    QElapsedTimer runClock;
    double runSeconds = 0;
    QElapsedTimer stopClock;
    double stopMs = -1;
    QMetaObject::Connection midway;
    if (stopMidway) {
        midway = QObject::connect(&window.progressBar(), &QProgressBar::valueChanged, [&](int value) {
            if (value < 50)
                return;
            QObject::disconnect(midway);
            stopClock.start();
            window.findChild<QPushButton *>(QStringLiteral("StopButton"))->click();
        });
    }
    QObject::connect(&window, &app::MainWindow::countingFinished, [&] {
        runSeconds = runClock.nsecsElapsed() / 1e9;
        if (stopClock.isValid())
            stopMs = stopClock.nsecsElapsed() / 1e6;
        stalls.stop();
        application.quit();
    });
    QTimer::singleShot(100, [&] {
        stalls.start();
        runClock.start();
        window.button("PushButton12")->click();
    });
    application.exec();

    const QString lastRow = window.results().count() > 0 ? window.results().text(window.results().count() - 1)
                                                           : QString();
    QTextStream(stdout) << "files=" << window.fileList().count() << " rows=" << window.results().count()
                        << " walk_s=" << QString::number(walkSeconds, 'f', 3)
                        << " run_s=" << QString::number(runSeconds, 'f', 3)
                        << " longest_gap_ms=" << stalls.longestMs() << " boxes=" << dialogs.texts.size()
                        << " stop_to_idle_ms=" << QString::number(stopMs, 'f', 1)
                        << " last_row=\"" << lastRow << "\"\n";
    return 0;
}
