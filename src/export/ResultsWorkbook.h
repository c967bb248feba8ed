#pragma once

#include "ListSource.h"

#include "ExportFailure.h"
#include <SummaryTable.h>

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace brinmoor::exports {

// Receives how far the workbook has got, 0 to 100; called on the exporting
// thread.
using PercentCallback = std::function<void(int percent)>;

// The width to give a sheet column whose longest text has the given length,
// in the sheet's width unit (one digit of the default font). The format has
// no "fit to contents" that a writer can ask for, so the width is estimated
// from the length; 0 means "leave the default width".
double workbookColumnWidth(qsizetype longestText);

// Writes the list into a new workbook at path: header texts in row 1, list
// row j in sheet row j + 1 (an unchecked row leaves its sheet row empty),
// column 1 as it is and every "=" removed from the further columns, every
// value a text cell, each column as wide as its longest written text. The
// answer lists what failed (empty when all went well); a failing cell leaves
// that cell empty and the rest is still written. Safe to call off the GUI
// thread.
//
// With a summary, a second sheet "Summary" holds its by-extension table
// (numbers as numbers, a Total row last) and a bar chart of the lines of
// its first ChartRows rows.
struct SummarySheet
{
    static constexpr int ChartRows = 15;
    std::vector<summary::SummaryRow> rows;   // by extension, most lines first
    std::uint64_t files = 0;
    std::uint64_t lines = 0;
};
QList<ExportFailure> writeResultsWorkbook(const ListSource &list, const QString &path,
                                          const PercentCallback &progress = {},
                                          const SummarySheet *summary = nullptr);

struct WorkbookFile
{
    QString path;            // empty when no workbook was made
    QList<ExportFailure> failures; // what went wrong while making it
};

// The user's cache folder for the workbooks handed to the spreadsheet
// program.
QString workbookFolder();

// Writes the workbook into a fresh folder of its own under folder, for the
// desktop's workbook application to open; the user saves it from there, so
// it is left in place (removeWorkbooksOlderThan clears it later). An empty
// list makes nothing at all.
WorkbookFile createResultsWorkbook(const ListSource &list, const QString &folder = workbookFolder(),
                                   const PercentCallback &progress = {}, const SummarySheet *summary = nullptr);

// Removes the workbook folders under folder last changed before the given
// time: only folders of this user named as createResultsWorkbook names
// them, checked without following links, never anything a link leads to.
// Safe to call off the GUI thread.
void removeWorkbooksOlderThan(const QDateTime &before, const QString &folder = workbookFolder());

} // namespace brinmoor::exports
