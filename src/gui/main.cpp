#include "MainWindow.h"
#include "SelfTest.h"

#include "DesktopOpener.h"
#include "Paths.h"
#include "SettingsStore.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <memory>

using namespace brinmoor;

int main(int argc, char *argv[])
{
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
    const bool selfTest = arguments.contains(QStringLiteral("--self-test")) || !screenshot.isEmpty();
    QTemporaryDir selfTestHome;
    const auto settings = selfTest
        ? std::make_unique<SettingsStore>(selfTestHome.filePath(QStringLiteral("Brinmoor.conf")))
        : std::make_unique<SettingsStore>();
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
