#include "ResultsWorkbook.h"

#include "ExportTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <Paths.h>

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brinmoor::exports {

namespace {

// Widths are capped where the sheet format caps them.
constexpr double MaxColumnWidth = 255.0;

QString cellValue(const ListSource &list, int row, int column)
{
    QString text = exportedText(list.cellText(row, column));
    if (column > 0)
        text.remove(u'=');
    return text;
}

ExportFailure workbookFailure(ExportStage stage, const QString &path, const QString &reason)
{
    return ExportFailure{stage, {path, reason}};
}

QString describe(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

// Gathers the failed cells of one kind into a single report: a broken
// workbook must not turn into a box per cell.
class CellFailures
{
public:
    void add(lxw_error error, int sheetRow, int sheetColumn, ExportStage stage)
    {
        if (m_count++ == 0) {
            m_first = workbookFailure(stage, QString(),
                                      describe(error) + QStringLiteral(" (row %1, column %2)")
                                                            .arg(sheetRow + 1)
                                                            .arg(sheetColumn + 1));
        }
    }

    void appendTo(QList<ExportFailure> &failures) const
    {
        if (m_count == 0)
            return;
        ExportFailure failure = m_first;
        if (m_count > 1)
            failure.failure.reason += QStringLiteral("; %1 more cells failed the same way").arg(m_count - 1);
        failures.append(failure);
    }

private:
    qsizetype m_count = 0;
    ExportFailure m_first;
};

} // namespace

double workbookColumnWidth(qsizetype longestText)
{
    if (longestText <= 0)
        return 0.0;
    // Letters average a little wider than the digit the unit is based on;
    // one unit more leaves the margin a fitted column has.
    return std::min(MaxColumnWidth, std::ceil(double(longestText) * 1.1) + 1.0);
}

namespace {


// The second sheet: the summary's table and its chart.
void writeSummarySheet(lxw_workbook *workbook, lxw_worksheet *sheet, const SummarySheet &summary,
                       QList<ExportFailure> &failures)
{
    CellFailures cellFailures;
    auto check = [&](lxw_error error, int row, int column) {
        if (error)
            cellFailures.add(error, row, column, ExportStage::Summary);
    };
    lxw_format *percent = workbook_add_format(workbook);
    format_set_num_format(percent, "0.0%");
    lxw_format *oneDecimal = workbook_add_format(workbook);
    format_set_num_format(oneDecimal, "0.0");
    worksheet_set_column(sheet, 0, 0, workbookColumnWidth(12), nullptr);
    worksheet_set_column(sheet, 1, 4, workbookColumnWidth(10), nullptr);

    const QStringList titles = summary::columnTitles(summary::SummaryView::Extension, false);
    for (int c = 0; c < titles.size(); ++c)
        check(worksheet_write_string(sheet, 0, lxw_col_t(c), titles.at(c).toUtf8().constData(), nullptr), 0, c);
    auto writeRow = [&](int row, const QString &name, std::uint64_t files, std::uint64_t lines) {
        check(worksheet_write_string(sheet, lxw_row_t(row), 0, name.toUtf8().constData(), nullptr), row, 0);
        check(worksheet_write_number(sheet, lxw_row_t(row), 1, double(files), nullptr), row, 1);
        check(worksheet_write_number(sheet, lxw_row_t(row), 2, double(lines), nullptr), row, 2);
        const double share = summary.lines ? double(lines) / double(summary.lines) : 0.0;
        check(worksheet_write_number(sheet, lxw_row_t(row), 3, share, percent), row, 3);
        check(worksheet_write_number(sheet, lxw_row_t(row), 4, files ? double(lines) / double(files) : 0.0, oneDecimal),
              row, 4);
    };
    const int rows = int(std::min<std::size_t>(summary.rows.size(), LXW_ROW_MAX - 2));
    for (int r = 0; r < rows; ++r)
        writeRow(r + 1, summary::extensionLabel(summary.rows[std::size_t(r)].name), summary.rows[std::size_t(r)].files,
                 summary.rows[std::size_t(r)].lines);
    writeRow(rows + 1, QStringLiteral("Total"), summary.files, summary.lines);
    cellFailures.appendTo(failures);

    const int charted = std::min(rows, SummarySheet::ChartRows);
    if (charted == 0)
        return;
    lxw_chart *chart = workbook_add_chart(workbook, LXW_CHART_BAR);
    const QByteArray categories = QStringLiteral("=Summary!$A$2:$A$%1").arg(charted + 1).toUtf8();
    const QByteArray values = QStringLiteral("=Summary!$C$2:$C$%1").arg(charted + 1).toUtf8();
    lxw_chart_series *series = chart ? chart_add_series(chart, categories.constData(), values.constData()) : nullptr;
    if (!series) {
        failures.append(workbookFailure(ExportStage::Summary, QString(), QStringLiteral("The summary chart cannot be made")));
        return;
    }
    chart_series_set_name(series, "Lines");
    chart_title_set_name(chart, "Lines by extension");
    chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
    // Bars are drawn from the bottom up; the most lines belong on top.
    chart_axis_set_reverse(chart->y_axis);
    if (const lxw_error error = worksheet_insert_chart(sheet, 1, 6, chart))
        failures.append(workbookFailure(ExportStage::Summary, QString(),
                                        QStringLiteral("The summary chart cannot be placed: ") + describe(error)));
}

} // namespace

QList<ExportFailure> writeResultsWorkbook(const ListSource &list, const QString &path,
                                          const PercentCallback &progress, const SummarySheet *summary)
{
    QList<ExportFailure> failures;
    const int columns = std::min(list.columnCount(), int(LXW_COL_MAX));
    const int rows = list.rowCount();
    // Sheet row 1 holds the header, so a sheet takes one list row less than its rows.
    const int writableRows = std::min(rows, int(LXW_ROW_MAX) - 1);

    // The widths come first: the workbook is streamed row by row, and the
    // column settings precede the rows in the file.
    QList<qsizetype> longest(columns, 0);
    for (int c = 0; c < columns; ++c)
        longest[c] = list.headerText(c).size();
    for (int j = 0; j < writableRows; ++j) {
        if (!list.isChecked(j))
            continue;
        for (int c = 0; c < columns; ++c)
            longest[c] = std::max(longest[c], cellValue(list, j, c).size());
    }

    const QByteArray nativePath = QFile::encodeName(path);
    const QByteArray tempDir = QFile::encodeName(QFileInfo(path).absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(tempDir.constData());
    options.use_zip64 = LXW_TRUE;
    lxw_workbook *workbook = workbook_new_opt(nativePath.constData(), &options);
    lxw_worksheet *sheet = workbook ? workbook_add_worksheet(workbook, nullptr) : nullptr;
    lxw_worksheet *summarySheet = sheet && summary ? workbook_add_worksheet(workbook, "Summary") : nullptr;
    if (!sheet) {
        failures.append(workbookFailure(ExportStage::Create, QDir::toNativeSeparators(path),
                                        QStringLiteral("the workbook cannot be created")));
        if (workbook)
            workbook_close(workbook);
        return failures;
    }

    for (int c = 0; c < columns; ++c) {
        const double width = workbookColumnWidth(longest.at(c));
        if (width > 0)
            worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), width, nullptr);
    }

    CellFailures headerFailures;
    for (int c = 0; c < columns; ++c) {
        const QByteArray text = exportedText(list.headerText(c)).toUtf8();
        if (const lxw_error error = worksheet_write_string(sheet, 0, lxw_col_t(c), text.constData(), nullptr))
            headerFailures.add(error, 0, c, ExportStage::Header);
    }
    headerFailures.appendTo(failures);

    CellFailures rowFailures;
    int lastPercent = -1;
    for (int j = 0; j < writableRows; ++j) {
        if (list.isChecked(j)) {
            for (int c = 0; c < columns; ++c) {
                const QByteArray text = cellValue(list, j, c).toUtf8();
                if (text.isEmpty())
                    continue;
                if (const lxw_error error =
                        worksheet_write_string(sheet, lxw_row_t(j + 1), lxw_col_t(c), text.constData(), nullptr))
                    rowFailures.add(error, j + 1, c, ExportStage::Rows);
            }
        }
        if (progress) {
            const int percent = int((j + 1) * 100.0 / rows);
            if (percent != lastPercent)
                progress(lastPercent = percent);
        }
    }
    rowFailures.appendTo(failures);
    if (writableRows < rows) {
        failures.append(workbookFailure(
            ExportStage::Rows, QString(),
            QStringLiteral("A sheet holds %1 rows; the last %2 results rows were left out").arg(LXW_ROW_MAX).arg(rows - writableRows)));
    }

    if (summarySheet)
        writeSummarySheet(workbook, summarySheet, *summary, failures);

    if (const lxw_error error = workbook_close(workbook))
        failures.append(workbookFailure(ExportStage::Close, QDir::toNativeSeparators(path), describe(error)));
    if (progress && lastPercent != 100)
        progress(100);
    return failures;
}

QString workbookFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/workbooks");
}

WorkbookFile createResultsWorkbook(const ListSource &list, const QString &parent, const PercentCallback &progress,
                                   const SummarySheet *summary)
{
    WorkbookFile result;
    if (list.rowCount() == 0)
        return result;

    QDir().mkpath(parent);
    QTemporaryDir folder(parent + QStringLiteral("/results-XXXXXX"));
    if (!folder.isValid()) {
        result.failures.append(workbookFailure(ExportStage::Create, QString(), folder.errorString()));
        return result;
    }
    const QString path = folder.filePath(QStringLiteral("Results.xlsx"));
    result.failures = writeResultsWorkbook(list, path, progress, summary);
    const bool closed = std::none_of(result.failures.cbegin(), result.failures.cend(),
                                     [](const ExportFailure &f) {
                                         return f.stage == ExportStage::Close || f.stage == ExportStage::Create;
                                     });
    if (closed && QFileInfo::exists(path)) {
        folder.setAutoRemove(false);
        result.path = path;
    }
    return result;
}

namespace {

// Removes what the open folder holds, never following a link: a link is
// removed as a link, whatever it points to. depth bounds the descent, which
// in a folder of ours never goes past its own files.
void removeContents(int folder, int depth)
{
    const int listed = ::dup(folder);
    DIR *entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!entries) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    while (const dirent *entry = ::readdir(entries)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat status {};
        if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            if (depth <= 0)
                continue;
            const int inner = ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (inner < 0)
                continue;
            removeContents(inner, depth - 1);
            ::close(inner);
            ::unlinkat(folder, name, AT_REMOVEDIR);
        } else {
            ::unlinkat(folder, name, 0);
        }
    }
    ::closedir(entries);
}

// The names createResultsWorkbook gives its folders: "results-" and six
// letters or digits.
bool isWorkbookFolderName(const char *name)
{
    constexpr char Prefix[] = "results-";
    constexpr size_t PrefixLength = sizeof Prefix - 1;
    if (std::strncmp(name, Prefix, PrefixLength) != 0 || std::strlen(name) != PrefixLength + 6)
        return false;
    return std::all_of(name + PrefixLength, name + PrefixLength + 6,
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

} // namespace

void removeWorkbooksOlderThan(const QDateTime &before, const QString &folder)
{
    // Everything is looked at without following links and removed through
    // descriptors of folders already checked, so a link planted in the cache
    // (or swapped in meanwhile) can never turn the clean-up on other files.
    const int cache = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (cache < 0)
        return;
    const int listed = ::dup(cache);
    DIR *entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!entries) {
        if (listed >= 0)
            ::close(listed);
        ::close(cache);
        return;
    }
    const qint64 limit = before.toSecsSinceEpoch();
    while (const dirent *entry = ::readdir(entries)) {
        const char *name = entry->d_name;
        if (!isWorkbookFolderName(name))
            continue;
        struct stat status {};
        if (::fstatat(cache, name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode)
            || status.st_uid != ::geteuid() || qint64(status.st_mtim.tv_sec) >= limit)
            continue;
        const int made = ::openat(cache, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (made < 0)
            continue;
        struct stat opened {};
        if (::fstat(made, &opened) == 0 && opened.st_dev == status.st_dev && opened.st_ino == status.st_ino) {
            removeContents(made, 4);
            ::unlinkat(cache, name, AT_REMOVEDIR);
        }
        ::close(made);
    }
    ::closedir(entries);
    ::close(cache);
}

} // namespace brinmoor::exports
