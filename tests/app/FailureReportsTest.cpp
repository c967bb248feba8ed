#include "FailureReports.h"

#include <gtest/gtest.h>

using namespace brinmoor;
using namespace brinmoor::app;
using exports::ExportFailure;
using exports::ExportStage;

namespace {

enum class Report { Folder, TextFile, Workbook };

struct Case
{
    const char *name;
    Report report;
    ExportStage stage;
    PathFailure failure;
    // The whole text of the box, as the window has always shown it.
    const char *text;
};

Failure converted(const Case &c)
{
    switch (c.report) {
    case Report::Folder:
        return folderFailureReport(c.failure.path, c.failure.reason);
    case Report::TextFile:
        return textFileReport(ExportFailure{c.stage, c.failure}).value();
    case Report::Workbook:
        break;
    }
    const QList<Failure> reports = workbookReports({ExportFailure{c.stage, c.failure}});
    return reports.value(0);
}

const QString Shut = QStringLiteral("/data/shut");
const QString Out = QStringLiteral("/home/u/out.txt");

// Every step the walk and the exports report at, with and without a path.
const Case Cases[] = {
    {"folder", Report::Folder, {}, {Shut, QStringLiteral("Too many open files")},
     "/data/shut: Too many open files\r\nin Hestwick2021/08/31.AddFolder.GetSubDirectories2016 at line 112"},
    {"text create", Report::TextFile, ExportStage::Create, {Out, QStringLiteral("Permission denied")},
     "/home/u/out.txt: Permission denied\r\nin Vantrel2021/08/31.Main.SaveListviewProperlySpaced at line 106"},
    {"text refused", Report::TextFile, ExportStage::Create, {{}, QStringLiteral("/dev/x is a folder")},
     "/dev/x is a folder\r\nin Vantrel2021/08/31.Main.SaveListviewProperlySpaced at line 106"},
    {"text header", Report::TextFile, ExportStage::Header, {{}, QStringLiteral("Write error")},
     "Write error\r\nin Vantrel2021/08/31.Main.SaveListviewProperlySpaced at line 108"},
    {"text rows", Report::TextFile, ExportStage::Rows, {Out, QStringLiteral("No space left on device")},
     "/home/u/out.txt: No space left on device\r\nin Vantrel2021/08/31.Main.SaveListviewProperlySpaced at line 112"},
    {"text close", Report::TextFile, ExportStage::Close, {Out, QString()},
     "/home/u/out.txt: \r\nin Vantrel2021/08/31.Main.SaveListviewProperlySpaced at line 116"},
    {"workbook create", Report::Workbook, ExportStage::Create, {Out, QStringLiteral("the workbook cannot be created")},
     "/home/u/out.txt: the workbook cannot be created\r\nin Vantrel2021/08/31.Form1.PushButton10_Click at line 110"},
    {"workbook header", Report::Workbook, ExportStage::Header, {{}, QStringLiteral("Error (row 1, column 2)")},
     "Error (row 1, column 2)\r\nin Vantrel2021/08/31.Form1.PushButton10_Click at line 114"},
    {"workbook rows", Report::Workbook, ExportStage::Rows, {{}, QStringLiteral("A sheet holds 1048576 rows")},
     "A sheet holds 1048576 rows\r\nin Vantrel2021/08/31.Form1.PushButton10_Click at line 118"},
    {"workbook summary", Report::Workbook, ExportStage::Summary, {{}, QStringLiteral("The summary chart cannot be made")},
     "The summary chart cannot be made\r\nin Vantrel2021/08/31.Form1.PushButton10_Click at line 120"},
    {"workbook close", Report::Workbook, ExportStage::Close, {Out, QStringLiteral("Error creating output xlsx file")},
     "/home/u/out.txt: Error creating output xlsx file\r\nin Vantrel2021/08/31.Form1.PushButton10_Click at line 122"},
};

} // namespace

TEST(FailureReports, GiveTheWindowsReportTextForEveryStep)
{
    const QString address = QStringLiteral("help@example.org");
    for (const Case &c : Cases) {
        const QString expected = QString::fromUtf8(c.text) + QStringLiteral("\r\rPlease email screenshot of this message to ")
                                 + address;
        EXPECT_EQ(errorReportText(converted(c), address).toStdString(), expected.toStdString()) << c.name;
    }
    EXPECT_FALSE(textFileReport(std::nullopt).has_value());
    EXPECT_TRUE(workbookReports({}).isEmpty());
}
