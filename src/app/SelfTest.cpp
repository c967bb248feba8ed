#include "SelfTest.h"

#include "MainWindow.h"
#include "SettingsStore.h"
#include "TextListModel.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTextStream>

namespace brinmoor::app {

MessageAnswer UnattendedDialogs::message(const QString &title, const QString &text, MessageButtons buttons,
                                         MessageIcon)
{
    QTextStream(stderr) << title << ": " << QString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')) << '\n';
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

std::optional<QString> UnattendedDialogs::input(const QString &prompt, const QString &title, const QString &)
{
    QTextStream(stderr) << title << ": " << prompt << " (cancelled)\n";
    return std::nullopt;
}

QStringList selfTestProblems(const MainWindow &window)
{
    QStringList problems;
    if (!window.isVisible())
        problems << QStringLiteral("the window is not shown");
    if (window.windowTitle() != QLatin1String("Brinmoor"))
        problems << QStringLiteral("caption is \"%1\"").arg(window.windowTitle());
    if (window.size() != QSize(1064, 386))
        problems << QStringLiteral("client area is %1 x %2, not 1064 x 386")
                        .arg(window.width())
                        .arg(window.height());
    const char *buttons[] = {"PushButton1",  "PushButton2",  "PushButton3",  "PushButton5",  "PushButton7",
                             "PushButton8",  "PushButton9",  "PushButton10", "PushButton11", "PushButton12",
                             "PushButton13", "PushButton14", "PushButton18"};
    for (const char *name : buttons) {
        const auto *b = window.findChild<QPushButton *>(QLatin1String(name));
        if (!b || !b->isVisible())
            problems << QStringLiteral("%1 is missing or hidden").arg(QLatin1String(name));
    }
    const auto *bar = window.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    if (!bar || bar->text() != QLatin1String("Progress Bar"))
        problems << QStringLiteral("the progress bar does not read \"Progress Bar\"");
    if (window.results().header() != QLatin1String(" Results"))
        problems << QStringLiteral("the results column is not \" Results\"");
    // Start-up records the sample files found beside the program.
    if (window.settings().read(QLatin1String(settings::Snapshot), QString()).isEmpty())
        problems << QStringLiteral("no sample files were found in %1").arg(window.besideProgram("Samples"));
    return problems;
}

} // namespace brinmoor::app
