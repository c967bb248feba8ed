// "Add All File(s) In Folder" through the shown window: answers the
// extension box with "*" and the folder browser with FOLDER, presses the
// button and measures, until the busy pointer goes, the wall time and the
// longest gap between two ticks of a 5 ms timer on the GUI thread (how long
// the window stood still at worst).
//
// Usage: brinmoor-scan-bench FOLDER
// Prints one line of key=value pairs; the texts of any boxes go to stderr.

#include "WindowHarness.h"

#include "TextListModel.h"

#include <QApplication>
#include <QPushButton>
#include <QTextStream>

using namespace brinmoor;

int main(int argc, char *argv[])
{
    bench::BenchHome home;
    QApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.size() != 1) {
        QTextStream(stderr) << "usage: brinmoor-scan-bench FOLDER\n";
        return 2;
    }

    SettingsStore settings(home.filePath(QStringLiteral("bench.conf")));
    bench::AnsweringDialogs dialogs;
    dialogs.inputAnswer = QStringLiteral("*");
    bench::FixedFileDialogs fileDialogs;
    fileDialogs.folder = args.first();
    app::MainWindow window(bench::benchServices(home, settings, dialogs, fileDialogs));
    window.startUp();
    window.show();

    bench::StallMeter stalls(5);
    QElapsedTimer clock;
    int appends = 0;
    QObject::connect(&window.fileList(), &QAbstractItemModel::rowsInserted, [&] { ++appends; });
    QObject::connect(&window.busy(), &app::BusyState::busyChanged, [&](bool busy) {
        if (busy)
            return;
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        stalls.stop();
        QTextStream(stdout) << "rows=" << window.fileList().count() << " seconds=" << QString::number(seconds, 'f', 4)
                            << " worst_gap_ms=" << stalls.longestMs() << " appends=" << appends << '\n';
        for (const QString &text : std::as_const(dialogs.texts))
            QTextStream(stderr) << "brinmoor-scan-bench: box: " << text << '\n';
        application.quit();
    });
    // Start once the window has been painted, so the scan is measured alone.
    QTimer::singleShot(300, [&] {
        stalls.start();
        clock.start();
        window.button("PushButton5")->click();
    });
    return application.exec();
}
