#pragma once

#include "Summary.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace brinmoor::summary {

enum class SummaryView { Extension, Folder };

// One row of a summary as the window, the console and the exports show it.
struct SummaryRow
{
    QString name;      // extension ("" for none) or folder name
    QString path;      // folders: the whole path; extensions: the lower-case key
    int depth = 0;     // folders: levels below the common root
    std::uint64_t files = 0;
    std::uint64_t lines = 0;
    double share = 0;          // percent of all lines counted
    double linesPerFile = 0;
    // Lines against the run before, when there was one.
    std::optional<std::int64_t> change;
};

// By extension, most lines first (then by name).
std::vector<SummaryRow> extensionRows(const Summary &summary, const Summary *previous = nullptr);
// The folder tree from the common root down in preorder, each folder's
// children with the most lines first; maxDepth < 0 for every level.
std::vector<SummaryRow> folderRows(const Summary &summary, int maxDepth = -1, const Summary *previous = nullptr);

// How a row's cells read in every text output, one per column of
// columnTitles(view, withChange).
QStringList columnTitles(SummaryView view, bool withChange);
QStringList rowCells(const SummaryRow &row, SummaryView view, bool withChange);
QString extensionLabel(const QString &extension);   // "(none)" for ""
QString shareText(double share);
QString changeText(std::int64_t change);

// Whole tables with a closing total line. Aligned: names left, numbers
// right, two blanks between columns, folders indented by depth. CSV: RFC
// 4180 with CR LF. Tab-separated: what a spreadsheet pastes as columns.
QString alignedTable(const std::vector<SummaryRow> &rows, SummaryView view, const Summary &summary,
                     bool withChange = false);
QString csvTable(const std::vector<SummaryRow> &rows, SummaryView view, const Summary &summary,
                 bool withChange = false);
QString tabSeparatedTable(const std::vector<SummaryRow> &rows, SummaryView view, const Summary &summary,
                          bool withChange = false);

} // namespace brinmoor::summary
