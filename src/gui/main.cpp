#include "ApplicationIdentity.h"
#include "MainWindow.h"
#include "SelfTest.h"

#include "CountRun.h"
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

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <dlfcn.h>

using namespace brinmoor;

namespace {

// Whether a display server answers at the address its variable names. The
// client libraries are the ones Qt's platform plugins load, taken here only
// if they are there: a server that is gone, or a library that is missing,
// would make Qt abort instead of saying so.
bool xServerAnswers()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    void *library = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return false;
    using Connect = void *(*)(const char *, int *);
    using HasError = int (*)(void *);
    using Disconnect = void (*)(void *);
    const auto connect = reinterpret_cast<Connect>(::dlsym(library, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(library, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(library, "xcb_disconnect"));
    bool answers = false;
    if (connect && hasError && disconnect) {
        void *connection = connect(nullptr, nullptr);
        answers = connection && hasError(connection) == 0;
        if (connection)
            disconnect(connection);   // also an error connection, which xcb allocates
    }
    ::dlclose(library);
    return answers;
}

bool waylandServerAnswers()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    void *library = ::dlopen("libwayland-client.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return false;
    using Connect = void *(*)(const char *);
    using Disconnect = void (*)(void *);
    using LogHandler = void (*)(const char *, va_list);
    using SetLogHandler = void (*)(LogHandler);
    const auto connect = reinterpret_cast<Connect>(::dlsym(library, "wl_display_connect"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(library, "wl_display_disconnect"));
    // The library's own complaint would make the user's one line three
    // (the library is unloaded after, so Qt finds its usual handler).
    if (const auto setLogHandler = reinterpret_cast<SetLogHandler>(::dlsym(library, "wl_log_set_handler_client")))
        setLogHandler([](const char *, va_list) {});
    bool answers = false;
    if (connect && disconnect) {
        if (void *display = connect(nullptr)) {
            answers = true;
            disconnect(display);
        }
    }
    ::dlclose(library);
    return answers;
}

// Whether the window can be shown at all: Qt aborts when its platform finds
// no display, so this is decided before it is asked. Empty when it can;
// otherwise why not, for the one line the user sees.
QString displayProblem(int argc, char *argv[])
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            platforms = argv[i + 1];
    }
    const bool x = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    bool named = false;
    for (const QByteArray &platform : platforms.split(';')) {
        const QByteArray name = platform.split(':').first().trimmed();
        if (name.isEmpty())
            continue;
        named = true;
        // Platforms that draw without a display server, or that this check
        // does not know: Qt decides.
        if (name != "xcb" && !name.startsWith("wayland"))
            return {};
        if (name == "xcb" ? xServerAnswers() : waylandServerAnswers())
            return {};
    }
    if (!x && !wayland)
        return QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
    const bool xAnswers = !named && xServerAnswers();
    const bool waylandAnswers = !named && waylandServerAnswers();
    if (xAnswers || waylandAnswers) {
        // Qt may well try the other one first, and abort there.
        if (x != wayland)
            return {};
        qputenv("QT_QPA_PLATFORM", xAnswers ? "xcb" : "wayland");
        return {};
    }
    QStringList silent;
    if (x)
        silent << QStringLiteral("DISPLAY=") + qEnvironmentVariable("DISPLAY");
    if (wayland)
        silent << QStringLiteral("WAYLAND_DISPLAY=") + qEnvironmentVariable("WAYLAND_DISPLAY");
    return QStringLiteral("no display server answers at ") + silent.join(QStringLiteral(" or "));
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
    counting::fitToProcessLimits();
    if (const QString problem = displayProblem(argc, argv); !problem.isEmpty()) {
        std::fprintf(stderr,
                     "brinmoor: the window needs a graphical desktop (%s); brinmoor-count counts lines without "
                     "one.\n",
                     problem.toLocal8Bit().constData());
        return 1;
    }
    QApplication application(argc, argv);
    app::setApplicationIdentity();

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
