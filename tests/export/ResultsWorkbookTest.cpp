#include "QtPrinters.h"

#include <ResultsWorkbook.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/time.h>

using namespace brinmoor;
using namespace brinmoor::exports;

namespace {

QString S(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Has the spreadsheet program read each workbook and write its first sheet
// as CSV (comma, double quotes, UTF-8, text cells quoted, so a text "007"
// and a number 7 look different). Answers one CSV text per workbook, or
// nothing when the program is not installed.
std::optional<QStringList> readBack(const QStringList &workbooks, const QString &outDir, int sheet = 1)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (program.isEmpty())
        return std::nullopt;
    QTemporaryDir profile;
    QProcess process;
    QStringList arguments{QStringLiteral("--headless"),
                          QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString(),
                          QStringLiteral("--convert-to"),
                          sheet == 1 ? QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true")
                                     : QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,true,true,false,false,%1").arg(sheet),
                          QStringLiteral("--outdir"),
                          outDir};
    arguments += workbooks;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(120000)) << "the spreadsheet program did not finish";
    QStringList csv;
    for (const QString &workbook : workbooks) {
        // A sheet other than the first is written under its own name.
        const QString base = QFileInfo(workbook).completeBaseName();
        QFile file(QDir(outDir).filePath(base + QStringLiteral(".csv")));
        if (!file.exists())
            file.setFileName(QDir(outDir).filePath(base + QStringLiteral("-Summary.csv")));
        csv.append(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                  : QStringLiteral("<no CSV: ") + QString::fromLocal8Bit(process.readAllStandardError()) + u'>');
    }
    return csv;
}

} // namespace

TEST(ResultsWorkbook, TheSpreadsheetProgramReadsTheSheetLayout)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    const TableSource table({S("Name"), S(" Value")},
                            {{{S("a=b"), S("=1+2")}, true},
                             {{S("skipped"), S("x")}, false},
                             {{S("007"), S("===")}, true},
                             {{S("=SUM(1)"), S("1=2=3")}, true},
                             {{S(" lead "), S("caf\xC3\xA9")}, true}});
    const QString tablePath = dir.filePath(S("table.xlsx"));
    QList<int> percents;
    EXPECT_EQ(writeResultsWorkbook(table, tablePath, [&](int p) { percents.append(p); }), QList<Failure>{});
    ASSERT_FALSE(percents.isEmpty());
    EXPECT_TRUE(std::is_sorted(percents.cbegin(), percents.cend()));
    EXPECT_EQ(percents.last(), 100);

    const ResultRowsSource results(S(" Results"), {{S("3 lines - /a"), true}, {S("4 lines - /b"), false}, {S("5 lines - /c"), true}});
    const WorkbookFile made = createResultsWorkbook(results, dir.filePath(S("cache")));
    EXPECT_EQ(made.failures, QList<Failure>{});
    ASSERT_TRUE(QFileInfo(made.path).isFile());
    EXPECT_TRUE(made.path.endsWith(S(".xlsx")));
    EXPECT_TRUE(made.path.startsWith(dir.filePath(S("cache/results-"))));

    const auto csv = readBack({tablePath, made.path}, dir.path());
    QDir(QFileInfo(made.path).absolutePath()).removeRecursively();
    if (!csv)
        GTEST_SKIP() << "soffice is not installed (Debian package libreoffice-calc-nogui); cannot read the workbook back";

    // Header in row 1, list row j in sheet row j + 1, the unchecked row left
    // empty, "=" kept in column 1 and removed from column 2, all cells text.
    EXPECT_EQ(csv->at(0), S("\"Name\",\" Value\"\n"
                            "\"a=b\",\"1+2\"\n"
                            ",\n"
                            "\"007\",\n"
                            "\"=SUM(1)\",\"123\"\n"
                            "\" lead \",\"caf\xC3\xA9\"\n"));
    EXPECT_EQ(csv->at(1), S("\" Results\"\n"
                            "\"3 lines - /a\"\n"
                            "\n"
                            "\"5 lines - /c\"\n"));
}

// The second sheet: the summary's table with numbers as numbers, and a
// chart drawn by the spreadsheet program itself.
TEST(ResultsWorkbook, TheSummarySheetAndItsChart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    brinmoor::summary::Summary summary;
    summary.add(S("/t/a.cpp"), 30);
    summary.add(S("/t/b.CPP"), 10);
    summary.add(S("/t/README"), 10);
    const SummarySheet sheet{brinmoor::summary::extensionRows(summary), summary.files(), summary.lines()};
    const QString path = dir.filePath(S("with-summary.xlsx"));
    EXPECT_EQ(writeResultsWorkbook(ResultRowsSource(S(" Results"), {{S("50 lines - /t"), true}}), path, {}, &sheet),
              QList<Failure>{});

    // Part names are stored uncompressed in the zip's headers.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.contains("xl/worksheets/sheet2.xml"));
    EXPECT_TRUE(bytes.contains("xl/charts/chart1.xml"));

    const auto csv = readBack({path}, dir.path(), 2);
    if (!csv)
        GTEST_SKIP() << "soffice is not installed (Debian package libreoffice-calc-nogui); cannot read the workbook back";
    EXPECT_EQ(csv->at(0), S("\"Extension\",\"Files\",\"Lines\",\"Share\",\"Lines/File\"\n"
                            "\"cpp\",2,40,80.0%,20.0\n"
                            "\"(none)\",1,10,20.0%,10.0\n"
                            "\"Total\",3,50,100.0%,16.7\n"));
}

TEST(ResultsWorkbook, AnEmptyListMakesNothing)
{
    QTemporaryDir dir;
    const WorkbookFile made = createResultsWorkbook(ResultRowsSource(S(" Results"), {}), dir.path());
    EXPECT_TRUE(made.path.isEmpty());
    EXPECT_TRUE(made.failures.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(ResultsWorkbook, WorkbooksOlderThanADayAreRemovedAndNothingElse)
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    const auto made = [&](const char *name, int hoursAgo) {
        const QString folder = dir.filePath(S(name));
        QDir().mkpath(folder + S("/inner"));
        const struct timeval times[2] = {{now.addSecs(-3600 * hoursAgo).toSecsSinceEpoch(), 0},
                                         {now.addSecs(-3600 * hoursAgo).toSecsSinceEpoch(), 0}};
        EXPECT_EQ(::utimes(QFile::encodeName(folder).constData(), times), 0);
        return folder;
    };
    const QString old = made("results-old", 25);
    const QString recent = made("results-new", 23);
    const QString other = made("other", 48);
    removeWorkbooksOlderThan(now.addDays(-1), dir.path());
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(recent));
    EXPECT_TRUE(QFileInfo::exists(other));
}

TEST(ResultsWorkbook, CellsTooLongForASheetGiveOneFailureAndTheRestIsWritten)
{
    QTemporaryDir dir;
    const QString tooLong(40000, u'x');
    const TableSource table({S("A"), S("B")},
                            {{{tooLong, tooLong}, true}, {{S("fine"), S("fine")}, true}});
    const QString path = dir.filePath(S("long.xlsx"));
    const QList<Failure> failures = writeResultsWorkbook(table, path);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures.first().location, QString::fromLatin1(location::SaveExcelFile));
    EXPECT_TRUE(failures.first().description.contains(S("(row 2, column 1)"))) << failures.first().description.toStdString();
    EXPECT_TRUE(failures.first().description.contains(S("1 more cells"))) << failures.first().description.toStdString();
    EXPECT_TRUE(QFileInfo(path).isFile());
}

TEST(ResultsWorkbook, AWorkbookThatCannotBeCreatedIsReported)
{
    QTemporaryDir dir;
    QFile plain(dir.filePath(S("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path = dir.filePath(S("plain/results.xlsx"));
    const QList<Failure> failures =
        writeResultsWorkbook(ResultRowsSource(S(" Results"), {{S("1 lines - /a"), true}}), path);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures.first().description.startsWith(path + u':')) << failures.first().description.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(ResultsWorkbook, ColumnWidthsFollowTheLongestTextUpToTheSheetLimit)
{
    EXPECT_EQ(workbookColumnWidth(0), 0.0);
    EXPECT_GE(workbookColumnWidth(8), 9.0);
    EXPECT_LT(workbookColumnWidth(8), workbookColumnWidth(9));
    EXPECT_GE(workbookColumnWidth(60), 60.0);
    EXPECT_EQ(workbookColumnWidth(1000), 255.0);
}
