// "Add All File(s) In Folder" through the shown window: answers the
// extension box with "*" and the folder browser with FOLDER, presses the
// button and measures, until the busy pointer goes, the wall time and the
// longest gap between two ticks of a 5 ms timer on the GUI thread (how long
// the window stood still at worst).
//
// Usage: brinmoor-scan-bench FOLDER
// Prints one line of key=value pairs.

#include "FileListDialogs.h"
#include "MainWindow.h"
#include "SettingsStore.h"
#include "TextListModel.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

using namespace brinmoor;

namespace {

class AnswerAll final : public UserDialogs
{
public:
    MessageAnswer message(const QString &, const QString &text, MessageButtons, MessageIcon) override
    {
        QTextStream(stderr) << "brinmoor-scan-bench: box: " << text << '\n';
        return MessageAnswer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override
    {
        return QStringLiteral("*");
    }
};

class ChooseFolder final : public filelist::FileListDialogs
{
public:
    explicit ChooseFolder(QString folder)
        : m_folder(std::move(folder))
    {
    }
    filelist::FileSelection chooseFiles(const QString &, const QStringList &, int &) override { return {}; }
    QString chooseFolder(const QString &, const QString &) override { return m_folder; }

private:
    QString m_folder;
};

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.size() != 1) {
        QTextStream(stderr) << "usage: brinmoor-scan-bench FOLDER\n";
        return 2;
    }

    SettingsStore settings(home.filePath(QStringLiteral("bench.conf")));
    AnswerAll dialogs;
    ChooseFolder folder(args.first());
    app::WindowServices services;
    services.dialogs = &dialogs;
    services.settings = &settings;
    services.programFolder = home.path();
    services.fileDialogs = &folder;
    app::MainWindow window(std::move(services));
    window.startUp();
    window.show();

    QElapsedTimer clock;
    QElapsedTimer tick;
    qint64 worstGap = 0;
    int appends = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] { worstGap = qMax(worstGap, tick.restart()); });
    QObject::connect(&window.fileList(), &QAbstractItemModel::rowsInserted, [&] { ++appends; });
    QObject::connect(&window.busy(), &app::BusyState::busyChanged, [&](bool busy) {
        if (busy)
            return;
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        worstGap = qMax(worstGap, tick.elapsed());
        QTextStream(stdout) << "rows=" << window.fileList().count() << " seconds=" << QString::number(seconds, 'f', 4)
                            << " worst_gap_ms=" << worstGap << " appends=" << appends << '\n';
        application.quit();
    });
    // Start once the window has been painted, so the scan is measured alone.
    QTimer::singleShot(300, [&] {
        tick.start();
        beat.start();
        clock.start();
        window.button("PushButton5")->click();
    });
    return application.exec();
}
