#include "MainWindow.h"
#include "SelfTest.h"

#include "DesktopOpener.h"
#include "FolderWalk.h"
#include "Paths.h"
#include "ResultsWorkbook.h"
#include "SettingsStore.h"
#include "SummaryCommands.h"
#include "SummaryWindow.h"
#include "TextListModel.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QDateTime>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

using namespace brinmoor;

namespace {

// Whether the window can be shown at all: Qt aborts when its platform finds
// no display, so this is decided before it is asked.
bool displayAvailable(int argc, char *argv[])
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            platforms = argv[i + 1];
    }
    // Platforms that draw without a display server.
    for (const QByteArray &platform : platforms.split(';')) {
        const QByteArray name = platform.split(':').first().trimmed();
        if (name == "offscreen" || name == "minimal" || name == "vnc" || name == "linuxfb" || name == "eglfs"
            || name == "vkkhrdisplay")
            return true;
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int takeSummaryScreenshot(QApplication &application, app::MainWindow &window, const QString &file,
                          const QString &folder)
{
    QObject::connect(&window, &app::MainWindow::countingFinished, &window, [&, file] {
        window.summaryCommands().showSummary();
        QTimer::singleShot(500, &window, [&, file] {
            const bool saved = window.summaryCommands().summaryWindow()->grab().save(file, nullptr, 0);
            QTextStream(saved ? stdout : stderr) << "brinmoor --summary-screenshot: " << file
                                                 << (saved ? " written\n" : " cannot be written\n");
            application.exit(saved ? 0 : 1);
        });
    });
    QTimer::singleShot(200, &window, [&, folder] {
        window.fileList().append(filelist::walkFolder(folder));
        window.button("PushButton12")->click();
    });
    return application.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable(argc, argv)) {
        std::fputs("brinmoor: the window needs a graphical desktop (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "brinmoor-count counts lines without one.\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kelmarsh"));
    QApplication::setApplicationName(QStringLiteral("Brinmoor"));

    // --self-test opens the window with unattended boxes and settings of its
    // own, checks it and quits: the smoke test of the build. --screenshot
    // FILE, likewise unattended, counts the sample files one by one and
    // saves the window as it then looks, compressed hard (docs/make-screenshot.sh).
    const QStringList arguments = application.arguments();
    const qsizetype shotAt = arguments.indexOf(QStringLiteral("--screenshot"));
    const QString screenshot = shotAt > 0 ? arguments.value(shotAt + 1) : QString();
    // --summary-screenshot FILE FOLDER: the same with the Summary window of
    // a run over FOLDER's files.
    const qsizetype summaryShotAt = arguments.indexOf(QStringLiteral("--summary-screenshot"));
    const QString summaryShot = summaryShotAt > 0 ? arguments.value(summaryShotAt + 1) : QString();
    const QString summaryFolder = summaryShotAt > 0 ? arguments.value(summaryShotAt + 2) : QString();
    const bool selfTest =
        arguments.contains(QStringLiteral("--self-test")) || !screenshot.isEmpty() || !summaryShot.isEmpty();
    std::optional<QTemporaryDir> selfTestHome;
    if (selfTest)
        selfTestHome.emplace();
    const auto settings = selfTest
        ? std::make_unique<SettingsStore>(selfTestHome->filePath(QStringLiteral("Brinmoor.conf")))
        : std::make_unique<SettingsStore>();

    // Workbooks handed to the spreadsheet program stay until it has surely
    // read them; a day later they go. A slow disk must not hold the window.
    if (!selfTest) {
        QThreadPool::globalInstance()->start(
            [] { exports::removeWorkbooksOlderThan(QDateTime::currentDateTime().addDays(-1)); });
    }
    WidgetDialogs widgetDialogs;
    app::UnattendedDialogs unattended;
    UserDialogs &dialogs = selfTest ? static_cast<UserDialogs &>(unattended) : widgetDialogs;

    app::MainWindow window(app::WindowServices{
        .dialogs = &dialogs,
        .settings = settings.get(),
        .programFolder = programFolder(),
        .websiteAddress = selfTest ? QString() : QStringLiteral(BRINMOOR_WEBSITE_URL),
        .drawVisit = [] { return int(QRandomGenerator::global()->bounded(1, 101)); },
        .openUrl = [](const QUrl &url) { openWithDesktop(url); },
        .countJobs = 0,
        .showInFolder = [](const QString &path) { return showInFileManager(path); },
    });
    widgetDialogs.setParent(&window);
    window.startUp();
    window.show();

    if (!selfTest)
        return application.exec();

    if (!screenshot.isEmpty()) {
        QObject::connect(&window, &app::MainWindow::countingFinished, &window, [&] {
            QTimer::singleShot(200, &window, [&] {
                const bool saved = window.grab().save(screenshot, nullptr, 0);
                QTextStream(saved ? stdout : stderr) << "brinmoor --screenshot: " << screenshot
                                                     << (saved ? " written\n" : " cannot be written\n");
                application.exit(saved ? 0 : 1);
            });
        });
        QTimer::singleShot(200, &window, [&] {
            window.button("PushButton11")->click();
            window.findChild<QRadioButton *>(QStringLiteral("Option2"))->click();
            window.button("PushButton12")->click();
        });
        return application.exec();
    }

    if (!summaryShot.isEmpty())
        return takeSummaryScreenshot(application, window, summaryShot, summaryFolder);

    int status = 0;
    QTimer::singleShot(200, &window, [&] {
        const QStringList problems = app::selfTestProblems(window);
        for (const QString &problem : problems)
            QTextStream(stderr) << "brinmoor --self-test: " << problem << '\n';
        status = problems.isEmpty() ? 0 : 1;
        window.close();
        application.quit();
    });
    application.exec();
    if (status == 0)
        QTextStream(stdout) << "brinmoor --self-test: window OK\n";
    return status;
}
