// Docks and task bars group a window with its launcher only when the names
// agree: the desktop entry's file name with the app id (Wayland) and its
// StartupWMClass with the window's WM_CLASS (X11).

#include "ApplicationIdentity.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

using namespace brinmoor;

class DesktopIdentityTest : public QObject
{
    Q_OBJECT

private:
    static QString desktopEntry(const QString &key)
    {
        QSettings entry(QStringLiteral(BRINMOOR_DESKTOP_FILE), QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        return entry.value(key).toString();
    }

private slots:
    void initTestCase() { app::setApplicationIdentity(); }

    void desktopFileNameIsTheEntrysName()
    {
        QCOMPARE(QGuiApplication::desktopFileName() + QStringLiteral(".desktop"),
                 QFileInfo(QStringLiteral(BRINMOOR_DESKTOP_FILE)).fileName());
    }

    // What the X server holds for a shown window, read as a dock reads it.
    void windowClassIsTheEntrysStartupWMClass()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("WM_CLASS exists only on X11 (run with QT_QPA_PLATFORM=xcb)");
        if (QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
            QSKIP("xprop is missing (apt-get install x11-utils)");
        const QString startupClass = desktopEntry(QStringLiteral("StartupWMClass"));
        QVERIFY2(!startupClass.isEmpty(), "the desktop entry has no StartupWMClass");

        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), QString::number(window.winId()), QStringLiteral("WM_CLASS")});
        QVERIFY(xprop.waitForFinished(10000));
        const QString output = QString::fromUtf8(xprop.readAllStandardOutput());
        // WM_CLASS(STRING) = "instance", "Class"
        static const QRegularExpression classes(QStringLiteral("= \"([^\"]*)\", \"([^\"]*)\""));
        const auto match = classes.match(output);
        QVERIFY2(match.hasMatch(), qPrintable(output));
        QCOMPARE(match.captured(2), startupClass);
    }
};

QTEST_MAIN(DesktopIdentityTest)
#include "DesktopIdentityTest.moc"
