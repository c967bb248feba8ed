#pragma once

#include <QString>

#include <functional>

namespace brinmoor::exports {

// Receives the progress display's state: a value from 0 to 100 and a caption.
// Called on the thread that runs the export, so a window that runs the export
// on a worker forwards it to the GUI thread with a queued call. The exports
// only call it when the value or the caption changes.
using ProgressCallback = std::function<void(int value, const QString &caption)>;

// The texts the results commands show. They are user-visible and documented
// in the manual, so they stay exactly as they are.
namespace texts {
inline constexpr char ResultsHeader[] = " Results";
inline constexpr char IdleCaption[] = "Progress Bar";
inline constexpr char DoneCaption[] = "Done.";
inline constexpr char CopyingCaption[] = "Copying text to clipboard.. please wait..";

inline constexpr char SaveDialogTitle[] = "Save";
inline constexpr char SaveDialogFilter[] = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|";
inline constexpr char Done[] = "Done.";

// Shown by the presence test itself, then by the command, in this order.
inline constexpr char SpreadsheetMissingForProgram[] =
    "Excel is not installed on this computer. You need to have it installed to use this software without error.";
inline constexpr char SpreadsheetMissingForFeature[] =
    "Excel is not installed on this computer. You need to have it installed to use this feature.";

// Paragraphs joined with two lone carriage returns, as every message does.
inline constexpr char CopiedToClipboard[] =
    "Results have been copied to the clipboard.\r\rClick a text area where you normally type and press Ctrl+V to paste the clipboard.";
inline constexpr char NothingToCopy[] = "There are no results to copy.";
} // namespace texts

// A cell's text as every export writes it, so that the text file, the
// clipboard and the workbook agree and one row stays one line: a byte that
// was not UTF-8 (which a path keeps as a lone surrogate) and any other lone
// surrogate become U+FFFD; a C0 control or DEL (line feed, carriage return,
// tab, escape...) becomes its visible control picture (U+2400 on); a C1
// control and the line and paragraph separators become U+FFFD. Each
// replacement is one UTF-16 unit, so column widths do not change.
QString exportedText(const QString &text);

// "Are you sure you wish to overwrite PATH ?", with the path as the dialog gave it.
QString overwriteQuestion(const QString &path);

// "Writing file: NAME", and with a row position "Writing file: NAME (1000)".
QString writingFileCaption(const QString &fileName);
QString writingFileCaption(const QString &fileName, int rowPosition);

} // namespace brinmoor::exports
