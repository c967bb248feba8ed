#include "QtPrinters.h"

#include <AlignedText.h>
#include <Paths.h>
#include <ResultsWorkbook.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QBuffer>
#include <QProcess>
#include <QRegularExpression>
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

// The texts of a workbook's first sheet, row by row (one text per row: the
// lists here have one column), read from its XML with unzip; nothing when
// unzip is missing.
std::optional<QStringList> sheetTexts(const QString &workbook)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("unzip"));
    if (program.isEmpty())
        return std::nullopt;
    QProcess unzip;
    unzip.start(program, {QStringLiteral("-p"), workbook, QStringLiteral("xl/worksheets/sheet1.xml")});
    EXPECT_TRUE(unzip.waitForFinished(30000));
    const QString xml = QString::fromUtf8(unzip.readAllStandardOutput());
    QStringList texts;
    static const QRegularExpression text(QStringLiteral("<t(?: [^>]*)?>([^<]*)</t>"));
    for (const QRegularExpressionMatch &m : text.globalMatch(xml)) {
        QString t = m.captured(1);
        t.replace(QStringLiteral("&lt;"), QStringLiteral("<")).replace(QStringLiteral("&gt;"), QStringLiteral(">"));
        t.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        texts.append(t);
    }
    return texts;
}

} // namespace

TEST(ResultsWorkbook, EveryExportWritesANameTheSameWayOneRowPerLine)
{
    struct Case
    {
        const char *what;
        QString name;
        QString written;
    };
    const QString ok = S("\xEF\xBF\xBD");   // U+FFFD
    const QList<Case> cases{
        {"plain", S("caf\xC3\xA9.txt"), S("caf\xC3\xA9.txt")},
        {"byte not UTF-8", pathFromNative("a\xFF" "b.txt"), S("a") + ok + S("b.txt")},
        {"line feed", S("a\nb"), S("a\xE2\x90\x8A" "b")},
        {"carriage return and line feed", S("a\r\nb"), S("a\xE2\x90\x8D\xE2\x90\x8A" "b")},
        {"tab and escape", S("a\tb\x1B"), S("a\xE2\x90\x89" "b\xE2\x90\x9B")},
        {"delete", S("a\x7F"), S("a\xE2\x90\xA1")},
        {"next line and line separator", QString::fromUtf16(u"a\u0085b\u2028c"), S("a") + ok + S("b") + ok + S("c")},
        {"lone surrogate", S("a") + QChar(0xD800) + S("b"), S("a") + ok + S("b")},
        {"pair kept", S("a\xF0\x9F\x98\x80"), S("a\xF0\x9F\x98\x80")},
    };
    QList<ResultRowView> rows;
    for (const Case &c : cases)
        rows.append({S("1 lines - /d/") + c.name, true});
    const ResultRowsSource list(S(" Results"), rows);

    QBuffer file;
    file.open(QIODevice::WriteOnly);
    ASSERT_EQ(SaveListviewProperlySpaced(list, file, S("out.txt")), std::nullopt);
    QStringList fileLines = QString::fromUtf8(file.data()).split(S("\r\n"));
    ASSERT_EQ(fileLines.takeLast(), QString());
    fileLines.removeFirst();   // the header
    const QStringList clipLines = CopyListviewProperlySpaced(list).split(S("\r\n"));

    QTemporaryDir dir;
    const QString workbook = dir.filePath(S("names.xlsx"));
    ASSERT_EQ(writeResultsWorkbook(list, workbook), QList<ExportFailure>{});
    const std::optional<QStringList> cells = sheetTexts(workbook);

    for (qsizetype i = 0; i < cases.size(); ++i) {
        const QString expected = S("1 lines - /d/") + cases.at(i).written;
        EXPECT_EQ(fileLines.value(i).chopped(1).trimmed(), expected) << cases.at(i).what;
        EXPECT_EQ(clipLines.value(i), expected) << cases.at(i).what;
        if (cells)
            EXPECT_EQ(cells->value(i + 1), expected) << cases.at(i).what;
    }
    EXPECT_EQ(fileLines.size(), cases.size());
    if (!cells)
        GTEST_SKIP() << "unzip is not installed; the workbook was not read back";
}

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
    EXPECT_EQ(writeResultsWorkbook(table, tablePath, [&](int p) { percents.append(p); }), QList<ExportFailure>{});
    ASSERT_FALSE(percents.isEmpty());
    EXPECT_TRUE(std::is_sorted(percents.cbegin(), percents.cend()));
    EXPECT_EQ(percents.last(), 100);

    const ResultRowsSource results(S(" Results"), {{S("3 lines - /a"), true}, {S("4 lines - /b"), false}, {S("5 lines - /c"), true}});
    const WorkbookFile made = createResultsWorkbook(results, dir.filePath(S("cache")));
    EXPECT_EQ(made.failures, QList<ExportFailure>{});
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
              QList<ExportFailure>{});

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
    const auto age = [&](const QString &path, int hoursAgo) {
        const struct timeval times[2] = {{now.addSecs(-3600 * hoursAgo).toSecsSinceEpoch(), 0},
                                         {now.addSecs(-3600 * hoursAgo).toSecsSinceEpoch(), 0}};
        EXPECT_EQ(::lutimes(QFile::encodeName(path).constData(), times), 0);
    };
    const auto made = [&](const char *name, int hoursAgo) {
        const QString folder = dir.filePath(S(name));
        QDir().mkpath(folder + S("/inner"));
        age(folder, hoursAgo);
        return folder;
    };
    // Files elsewhere that links in the cache point at.
    const QString precious = dir.filePath(S("elsewhere/precious"));
    QDir().mkpath(precious);
    QFile keep(precious + S("/keep.txt"));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.close();
    age(precious, 48);   // so the link looks as old as a forgotten workbook

    const QString cache = dir.filePath(S("cache"));
    const QString old = [&] { QDir().mkpath(cache); return made("cache/results-Ab12Cd", 25); }();
    ASSERT_TRUE(QFile::link(precious, old + S("/inner/link")));
    ASSERT_TRUE(QFile::link(precious + S("/keep.txt"), old + S("/file-link")));
    age(old, 25);
    const QString recent = made("cache/results-Ef34Gh", 23);
    const QString other = made("cache/other", 48);
    const QString link = cache + S("/results-Ij56Kl");
    ASSERT_TRUE(QFile::link(precious, link));
    age(link, 48);

    removeWorkbooksOlderThan(now.addDays(-1), cache);
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(recent));
    EXPECT_TRUE(QFileInfo::exists(other));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(precious + S("/keep.txt")));

    // A cache folder that is itself a link is left alone.
    const QString linkedCache = dir.filePath(S("linked-cache"));
    ASSERT_TRUE(QFile::link(dir.filePath(S("elsewhere")), linkedCache));
    made("elsewhere/results-Mn78Op", 48);
    removeWorkbooksOlderThan(now.addDays(-1), linkedCache);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(S("elsewhere/results-Mn78Op"))));
}

TEST(ResultsWorkbook, CellsTooLongForASheetGiveOneFailureAndTheRestIsWritten)
{
    QTemporaryDir dir;
    const QString tooLong(40000, u'x');
    const TableSource table({S("A"), S("B")},
                            {{{tooLong, tooLong}, true}, {{S("fine"), S("fine")}, true}});
    const QString path = dir.filePath(S("long.xlsx"));
    const QList<ExportFailure> failures = writeResultsWorkbook(table, path);
    ASSERT_EQ(failures.size(), 1);
    const PathFailure &failure = failures.first().failure;
    EXPECT_EQ(failures.first().stage, ExportStage::Rows);
    EXPECT_TRUE(failure.path.isEmpty());
    EXPECT_TRUE(failure.reason.contains(S("(row 2, column 1)"))) << failure.reason.toStdString();
    EXPECT_TRUE(failure.reason.contains(S("1 more cells"))) << failure.reason.toStdString();
    EXPECT_TRUE(QFileInfo(path).isFile());
}

TEST(ResultsWorkbook, AWorkbookThatCannotBeCreatedIsReported)
{
    QTemporaryDir dir;
    QFile plain(dir.filePath(S("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path = dir.filePath(S("plain/results.xlsx"));
    const QList<ExportFailure> failures =
        writeResultsWorkbook(ResultRowsSource(S(" Results"), {{S("1 lines - /a"), true}}), path);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures.first().failure.path, path);
    EXPECT_FALSE(failures.first().failure.reason.isEmpty());
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
