#include "QtPrinters.h"

#include <SpreadsheetPresence.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace brinmoor::exports;

namespace {

QString S(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

// Points this process (and xdg-mime, which inherits it) at an empty desktop
// of its own: no session, no configuration, no installed applications. The
// previous environment comes back when the object goes.
class IsolatedDesktop
{
public:
    IsolatedDesktop()
    {
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS",
                                 "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"}) {
            m_saved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
            qunsetenv(name);
        }
        QDir root(m_root.path());
        root.mkpath(S("config"));
        root.mkpath(S("data/applications"));
        root.mkpath(S("system/applications"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(S("config"))));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root.filePath(S("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(S("data"))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(root.filePath(S("system"))));
    }

    ~IsolatedDesktop()
    {
        for (const auto &[name, value] : m_saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }

    // Installs a desktop file under applications/ (relative may name a subfolder).
    void install(const QString &relative) const
    {
        const QString path = QDir(m_root.path()).filePath(S("data/applications/") + relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=Sheets\nExec=true %f\n"
                   "MimeType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n");
    }

    void makeDefaultForWorkbooks(const QString &desktopFileId) const
    {
        QFile file(QDir(m_root.path()).filePath(S("config/mimeapps.list")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Default Applications]\n" + QByteArray(WorkbookMimeType) + '=' + desktopFileId.toUtf8() + '\n');
    }

private:
    QTemporaryDir m_root;
    std::map<const char *, std::optional<QByteArray>> m_saved;
};

SpreadsheetProbe answering(QString defaultApplication, QStringList installed)
{
    return SpreadsheetProbe{[defaultApplication](const QString &mimeType) {
                                return mimeType == S(WorkbookMimeType) ? defaultApplication : QString();
                            },
                            [installed](const QString &id) { return installed.contains(id); }};
}

} // namespace

TEST(SpreadsheetPresence, AnInjectedDesktopWithAWorkbookApplicationIsPresent)
{
    EXPECT_TRUE(SaveResultsAsExcelFileIsExcelInstalled(answering(S("sheets.desktop"), {S("sheets.desktop")})));
    EXPECT_TRUE(SaveResultsAsExcelFileIsExcelInstalled(answering(S("gone.desktop;sheets.desktop"), {S("sheets.desktop")})));
    EXPECT_FALSE(SaveResultsAsExcelFileIsExcelInstalled(answering(S("gone.desktop"), {S("sheets.desktop")})));
    EXPECT_FALSE(SaveResultsAsExcelFileIsExcelInstalled(answering(QString(), {S("sheets.desktop")})));
    EXPECT_FALSE(SaveResultsAsExcelFileIsExcelInstalled(SpreadsheetProbe{}));
}

TEST(SpreadsheetPresence, AHeadlessDesktopHasNoWorkbookApplication)
{
    const IsolatedDesktop desktop;
    EXPECT_FALSE(SaveResultsAsExcelFileIsExcelInstalled());
}

TEST(SpreadsheetPresence, ARegisteredDefaultApplicationIsFoundThroughXdgMime)
{
    if (QStandardPaths::findExecutable(S("xdg-mime")).isEmpty())
        GTEST_SKIP() << "xdg-mime is not installed (Debian package xdg-utils)";
    const IsolatedDesktop desktop;
    desktop.install(S("brinmoor-sheets.desktop"));
    desktop.makeDefaultForWorkbooks(S("brinmoor-sheets.desktop"));
    EXPECT_TRUE(SaveResultsAsExcelFileIsExcelInstalled());
}

TEST(SpreadsheetPresence, DesktopFilesAreFoundInTheApplicationFolders)
{
    const IsolatedDesktop desktop;
    desktop.install(S("flat.desktop"));
    desktop.install(S("vendor/nested.desktop"));
    EXPECT_TRUE(desktopFileInstalled(S("flat.desktop")));
    EXPECT_TRUE(desktopFileInstalled(S("vendor-nested.desktop")));
    EXPECT_FALSE(desktopFileInstalled(S("missing.desktop")));
    EXPECT_FALSE(desktopFileInstalled(S("vendor/nested.desktop")));
    // Its command line, for opening a workbook as a new document.
    EXPECT_EQ(systemSpreadsheetProbe().commandLine(S("vendor-nested.desktop")), S("true %f"));
    EXPECT_EQ(systemSpreadsheetProbe().commandLine(S("missing.desktop")), QString());
}
