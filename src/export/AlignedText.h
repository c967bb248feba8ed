#pragma once

#include "ExportTexts.h"
#include "ListSource.h"

#include "ExportFailure.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QIODevice;

namespace brinmoor::exports {

class WriteStop;

// The width of each column: the longest of its texts in UTF-16 code units,
// over every row whether checked or not, and over the header when
// withHeader is set. 0 for a column whose texts are all empty.
QList<int> columnWidths(const ListSource &list, bool withHeader);

// Writes the aligned table into an open device: the header line, then one
// line per checked row, every cell padded to its column's width and followed
// by a tab, every line ended by CR LF, encoded in the system's 8-bit
// encoding (UTF-8 here). fileName only feeds the progress captions. Answers
// the first write failure, the final flush of a buffered file included;
// writing stops there, since the caller throws the partial output away.
// Safe to call off the GUI thread.
std::optional<ExportFailure> SaveListviewProperlySpaced(const ListSource &list, QIODevice &device,
                                                  const QString &fileName,
                                                  const ProgressCallback &progress = {});

// Writes the aligned table to the file at path. The text goes to a temporary
// file beside the target that replaces it only once it is complete and
// synced, keeping the old file's permission bits (and owner and group where
// allowed), so on any failure an existing file stays as it was and one
// failure, with the system's reason, is answered. A pipe or a device is
// written in place. The progress goes 1, 10, 20, rising with the rows, 100
// with "Done." after a complete write only, and back to 0 with "Progress
// Bar" in every case. stop ends the write early, as a failure (the caller
// asks stop whether the user wanted it), even one waiting on a pipe.
std::optional<ExportFailure> SaveListviewProperlySpaced(const ListSource &list, const QString &path,
                                                  const ProgressCallback &progress = {},
                                                  const std::shared_ptr<WriteStop> &stop = {});

// The clipboard text: one line per checked row, cells aligned to widths
// taken from the rows alone, blanks at the end of each line trimmed, every
// line ended by CR LF, no header. Empty when no row is checked. The caller
// tells an empty list (nothing to copy) from one with no checked rows.
QString CopyListviewProperlySpaced(const ListSource &list);

} // namespace brinmoor::exports
