#include "SummaryTable.h"

#include <algorithm>

namespace brinmoor::summary {

namespace {

double percent(std::uint64_t part, std::uint64_t whole)
{
    return whole == 0 ? 0.0 : 100.0 * double(part) / double(whole);
}

std::optional<std::int64_t> changeAgainst(std::uint64_t lines, std::optional<std::uint64_t> before)
{
    if (!before)
        return std::nullopt;
    return std::int64_t(lines) - std::int64_t(*before);
}

SummaryRow totalRow(const Summary &summary, SummaryView view)
{
    SummaryRow total;
    total.name = QStringLiteral("Total");
    total.files = summary.files();
    total.lines = summary.lines();
    total.share = summary.lines() ? 100.0 : 0.0;
    total.linesPerFile = summary.files() ? double(summary.lines()) / double(summary.files()) : 0.0;
    (void)view;
    return total;
}

bool isNumberColumn(int column)
{
    return column > 0;
}

} // namespace

std::vector<SummaryRow> extensionRows(const Summary &summary, const Summary *previous)
{
    // The run before, by the same case-insensitive key.
    QHash<QString, std::uint64_t> before;
    const bool compare = previous && !previous->isEmpty();
    if (compare)
        for (const Summary::Extension &e : previous->extensions())
            before.insert(e.name.toLower(), e.lines);

    std::vector<SummaryRow> rows;
    rows.reserve(summary.extensions().size());
    for (const Summary::Extension &e : summary.extensions()) {
        SummaryRow row;
        row.name = e.name;
        row.path = e.name.toLower();
        row.files = e.files;
        row.lines = e.lines;
        row.share = percent(e.lines, summary.lines());
        row.linesPerFile = e.files ? double(e.lines) / double(e.files) : 0.0;
        if (compare)
            row.change = changeAgainst(e.lines, before.value(row.path, 0));
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), [](const SummaryRow &a, const SummaryRow &b) {
        if (a.lines != b.lines)
            return a.lines > b.lines;
        return a.path < b.path;
    });
    return rows;
}

std::vector<SummaryRow> folderRows(const Summary &summary, int maxDepth, const Summary *previous)
{
    std::vector<SummaryRow> rows;
    const int root = summary.root();
    if (root < 0)
        return rows;
    const bool compare = previous && !previous->isEmpty();
    const auto &folders = summary.folders();

    auto visit = [&](auto &&self, int index, int depth) -> void {
        const Summary::Folder &f = folders[std::size_t(index)];
        SummaryRow row;
        row.name = depth == 0 ? (f.path.isEmpty() ? QStringLiteral(".") : f.path) : f.name;
        row.path = f.path;
        row.depth = depth;
        row.files = f.files;
        row.lines = f.lines;
        row.share = percent(f.lines, summary.lines());
        row.linesPerFile = f.files ? double(f.lines) / double(f.files) : 0.0;
        if (compare) {
            const int old = previous->folderIndex(f.path);
            row.change = changeAgainst(f.lines, old < 0 ? 0 : previous->folders()[std::size_t(old)].lines);
        }
        rows.push_back(std::move(row));
        if (maxDepth >= 0 && depth >= maxDepth)
            return;
        std::vector<int> children = f.children;
        std::sort(children.begin(), children.end(), [&](int a, int b) {
            const auto &fa = folders[std::size_t(a)];
            const auto &fb = folders[std::size_t(b)];
            if (fa.lines != fb.lines)
                return fa.lines > fb.lines;
            return fa.name < fb.name;
        });
        for (int child : children)
            self(self, child, depth + 1);
    };
    visit(visit, root, 0);
    return rows;
}

QString extensionLabel(const QString &extension)
{
    return extension.isEmpty() ? QStringLiteral("(none)") : extension;
}

QString shareText(double share)
{
    return QString::number(share, 'f', 1) + QLatin1Char('%');
}

QString changeText(std::int64_t change)
{
    if (change > 0)
        return QLatin1Char('+') + QString::number(change);
    if (change < 0)
        return QChar(0x2212) + QString::number(-change);
    return QStringLiteral("0");
}

QStringList columnTitles(SummaryView view, bool withChange)
{
    QStringList titles;
    if (view == SummaryView::Extension)
        titles = {QStringLiteral("Extension"), QStringLiteral("Files"), QStringLiteral("Lines"),
                  QStringLiteral("Share"), QStringLiteral("Lines/File")};
    else
        titles = {QStringLiteral("Folder"), QStringLiteral("Files"), QStringLiteral("Lines"), QStringLiteral("Share")};
    if (withChange)
        titles << QStringLiteral("Change");
    return titles;
}

QStringList rowCells(const SummaryRow &row, SummaryView view, bool withChange)
{
    QStringList cells;
    cells << (view == SummaryView::Extension ? extensionLabel(row.name) : row.name)
          << QString::number(row.files) << QString::number(row.lines) << shareText(row.share);
    if (view == SummaryView::Extension)
        cells << QString::number(row.linesPerFile, 'f', 1);
    if (withChange)
        cells << (row.change ? changeText(*row.change) : QString());
    return cells;
}

namespace {

std::vector<QStringList> allCells(const std::vector<SummaryRow> &rows, SummaryView view, const Summary &summary,
                                  bool withChange)
{
    std::vector<QStringList> cells;
    cells.reserve(rows.size() + 2);
    cells.push_back(columnTitles(view, withChange));
    for (const SummaryRow &row : rows)
        cells.push_back(rowCells(row, view, withChange));
    QStringList total = rowCells(totalRow(summary, view), view, false);
    if (view == SummaryView::Folder)
        total = total.mid(0, 4);
    if (withChange)
        total << QString();
    cells.push_back(total);
    return cells;
}

} // namespace

QString alignedTable(const std::vector<SummaryRow> &rows, SummaryView view, const Summary &summary, bool withChange)
{
    std::vector<QStringList> cells = allCells(rows, view, summary, withChange);
    if (view == SummaryView::Folder)
        for (std::size_t i = 0; i < rows.size(); ++i)
            cells[i + 1][0] = QString(rows[i].depth * 2, QLatin1Char(' ')) + cells[i + 1][0];
    std::vector<qsizetype> widths(std::size_t(cells.front().size()), 0);
    for (const QStringList &line : cells)
        for (qsizetype c = 0; c < line.size(); ++c)
            widths[std::size_t(c)] = std::max(widths[std::size_t(c)], line[c].size());
    QString text;
    for (const QStringList &line : cells) {
        QString out;
        for (qsizetype c = 0; c < line.size(); ++c) {
            if (c > 0)
                out += QStringLiteral("  ");
            const int width = int(widths[std::size_t(c)]);
            out += isNumberColumn(int(c)) ? line[c].rightJustified(width) : line[c].leftJustified(width);
        }
        // Trailing blanks of the last column help nobody.
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        text += out + QLatin1Char('\n');
    }
    return text;
}

QString csvTable(const std::vector<SummaryRow> &rows, SummaryView view, const Summary &summary, bool withChange)
{
    std::vector<QStringList> cells = allCells(rows, view, summary, withChange);
    // Folders are named by their whole path: a reader needs no indentation
    // to place them.
    if (view == SummaryView::Folder)
        for (std::size_t i = 0; i < rows.size(); ++i)
            cells[i + 1][0] = rows[i].path.isEmpty() ? QStringLiteral(".") : rows[i].path;
    QString text;
    for (const QStringList &line : cells) {
        QStringList fields;
        for (QString field : line) {
            if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"'))
                || field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))) {
                field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
                field = QLatin1Char('"') + field + QLatin1Char('"');
            }
            fields << field;
        }
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return text;
}

QString tabSeparatedTable(const std::vector<SummaryRow> &rows, SummaryView view, const Summary &summary,
                          bool withChange)
{
    std::vector<QStringList> cells = allCells(rows, view, summary, withChange);
    if (view == SummaryView::Folder)
        for (std::size_t i = 0; i < rows.size(); ++i)
            cells[i + 1][0] = rows[i].path.isEmpty() ? QStringLiteral(".") : rows[i].path;
    QString text;
    for (QStringList line : cells) {
        // A tab or line break inside a name would shift the pasted columns.
        for (QString &cell : line)
            for (QChar &c : cell)
                if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                    c = QLatin1Char(' ');
        text += line.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

} // namespace brinmoor::summary
