#include "QtPrinters.h"

#include <DesktopApplications.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

using namespace brinmoor;

namespace {

QString S(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// A desktop of this process's own: its configuration, applications and
// media types, in a temporary folder. GIO reads the XDG variables once, on
// first use, so this is set up before main and serves every test here.
class IsolatedDesktop
{
public:
    IsolatedDesktop()
    {
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "XDG_DATA_DIRS"})
            qunsetenv(name);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(path("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(path("system")));

        // The programs record their arguments, one a line, in a file that
        // appears whole.
        for (const char *program : {"sheets", "vanishing"}) {
            write(program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.part\" && mv \"$0.part\" \"$0.args\"\n");
            QFile::setPermissions(path(program), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        // Installed, and indexed as installing them does.
        QByteArray index = "[MIME Cache]\n";
        for (const auto &[id, type, exec] : {std::tuple{"sheets", "x-sheets", "\"" + path("sheets") + "\" --sheet"},
                                             {"listed", "x-listed", path("sheets")},
                                             {"missing-program", "x-missing-program", path("no-such-program")},
                                             {"vanishing", "x-vanishing", path("vanishing")},
                                             {"archives", "x-archive", path("sheets")},
                                             {"derived", "x-derived-own", path("sheets")}}) {
            write(qPrintable(S("data/applications/") + S(id) + S(".desktop")),
                  "[Desktop Entry]\nType=Application\nName=Test\nExec=" + exec.toUtf8() + " %f\nMimeType=application/"
                      + type + ";\n");
            index += QByteArray("application/") + type + '=' + id + ".desktop;\n";
        }
        write("data/applications/mimeinfo.cache", index);
        // The user's choices.
        write("config/mimeapps.list",
              "[Default Applications]\n"
              "application/x-sheets=sheets.desktop\n"
              "application/x-missing-program=missing-program.desktop\n"
              "application/x-chosen=listed.desktop\n");
        // Two types made from the archive type, as workbooks are zip files.
        write("system/mime/subclasses",
              "application/x-derived application/x-archive\n"
              "application/x-derived-own application/x-archive\n");
    }

    QString path(const QString &relative) const { return m_root.filePath(relative); }
    QString path(const char *relative) const { return path(S(relative)); }

private:
    void write(const char *relative, const QByteArray &contents) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
            qFatal("cannot write %s", qPrintable(path(relative)));
    }

    QTemporaryDir m_root;
};

const IsolatedDesktop desktop;

// The arguments a program recorded, once it ran; waits for the launch,
// which GIO does not wait for.
QStringList recordedArguments(const char *program)
{
    QFile record(desktop.path(S(program) + S(".args")));
    QElapsedTimer clock;
    clock.start();
    while (!record.exists() && clock.elapsed() < 10000)
        QThread::msleep(10);
    if (!record.open(QIODevice::ReadOnly))
        return {S("<never ran>")};
    QStringList lines = QString::fromUtf8(record.readAll()).split(u'\n');
    lines.removeLast();
    record.remove();
    return lines;
}

struct LookupCase
{
    const char *name;
    const char *type;
    const char *id;   // nothing: no application
};

using DefaultApplication = testing::TestWithParam<LookupCase>;

} // namespace

TEST_P(DefaultApplication, IsTheDesktopsChoiceOfAnApplicationThatCanRun)
{
    const LookupCase &c = GetParam();
    const std::optional<DesktopApplication> found = defaultApplication(S("application/") + S(c.type));
    if (!c.id) {
        EXPECT_FALSE(found) << found->id.toStdString();
        return;
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, S(c.id));
    EXPECT_TRUE(found->commandLine.endsWith(S(" %f"))) << found->commandLine.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    DesktopApplications, DefaultApplication,
    testing::Values(LookupCase{"ChosenByTheUser", "x-sheets", "sheets.desktop"},
                    LookupCase{"OnlyInstalledForTheType", "x-listed", "listed.desktop"},
                    LookupCase{"ChosenWithoutNamingTheType", "x-chosen", "listed.desktop"},
                    LookupCase{"NoneInstalled", "x-nothing-opens-this", nullptr},
                    LookupCase{"ProgramMissing", "x-missing-program", nullptr},
                    LookupCase{"OnlyAnApplicationForTheParentType", "x-derived", nullptr},
                    LookupCase{"OwnApplicationBeforeTheParentTypes", "x-derived-own", "derived.desktop"},
                    LookupCase{"TheParentTypeItself", "x-archive", "archives.desktop"}),
    [](const testing::TestParamInfo<LookupCase> &info) { return std::string(info.param.name); });

TEST(DesktopApplications, TheApplicationStartsWithTheFile)
{
    const QString file = desktop.path("a workbook 100%.xlsx");
    ASSERT_TRUE(launchApplication(S("sheets.desktop"), file));
    EXPECT_EQ(recordedArguments("sheets"), (QStringList{S("--sheet"), file}));

    ASSERT_TRUE(launchCommand({desktop.path("sheets"), S("--calc"), S("%U"), S("-n")}, file));
    EXPECT_EQ(recordedArguments("sheets"), (QStringList{S("--calc"), S("%U"), S("-n"), file}));
}

TEST(DesktopApplications, AnApplicationThatCannotStartIsReported)
{
    const QString file = desktop.path("book.xlsx");
    EXPECT_FALSE(launchApplication(S("no-such-application.desktop"), file));
    EXPECT_FALSE(launchApplication(QString(), file));
    EXPECT_FALSE(launchCommand({desktop.path("no-such-program")}, file));
    EXPECT_FALSE(launchCommand({}, file));

    // Found, then its program went before the launch.
    const std::optional<DesktopApplication> found = defaultApplication(S("application/x-vanishing"));
    ASSERT_TRUE(found);
    ASSERT_TRUE(QFile::remove(desktop.path("vanishing")));
    EXPECT_FALSE(launchApplication(found->id, file));
}
