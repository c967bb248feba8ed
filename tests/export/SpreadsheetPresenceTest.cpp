#include "QtPrinters.h"

#include <SpreadsheetPresence.h>

#include <gtest/gtest.h>

using namespace brinmoor::exports;

namespace {

struct UntitledCase
{
    const char *name;
    const char *desktopFileId;
    const char *commandLine;
    std::optional<QStringList> command;   // nothing: the workbook is opened as it is
};

class UntitledOpen : public testing::TestWithParam<UntitledCase>
{
};

} // namespace

TEST_P(UntitledOpen, OnlyTheOfficeSuitesSpreadsheetGetsTheWorkbookAsATemplate)
{
    const UntitledCase &c = GetParam();
    EXPECT_EQ(untitledOpenCommand(QString::fromUtf8(c.desktopFileId), QString::fromUtf8(c.commandLine)), c.command);
}

INSTANTIATE_TEST_SUITE_P(
    SpreadsheetPresence, UntitledOpen,
    testing::Values(
        UntitledCase{"OfficeSuitesSpreadsheet", "libreoffice-calc.desktop", "libreoffice --calc %U",
                     QStringList{"libreoffice", "--calc", "-n"}},
        UntitledCase{"QuotedProgram", "libreoffice-calc.desktop", "\"/opt/office suite/soffice\" --calc %U",
                     QStringList{"/opt/office suite/soffice", "--calc", "-n"}},
        UntitledCase{"AnotherSpreadsheet", "sheets.desktop", "sheets %f", std::nullopt},
        UntitledCase{"WrapperThatForwardsFiles", "org.libreoffice.LibreOffice.calc.desktop",
                     "/usr/bin/flatpak run --file-forwarding org.libreoffice.LibreOffice --calc @@u %U @@", std::nullopt},
        UntitledCase{"NoCommandLine", "libreoffice-calc.desktop", "%U", std::nullopt}),
    [](const testing::TestParamInfo<UntitledCase> &info) { return std::string(info.param.name); });
