#pragma once

#include "ErrorReport.h"
#include "ExportFailure.h"

#include <QList>

#include <optional>

namespace brinmoor::app {

// The "Application Error" form of what the walk and the exports report: the
// description is "path: reason" (the reason alone when no path is
// concerned), the location and the "at line" step those of the window's
// procedure that met it. Support staff search for these texts: they never
// change.

// The walk's report of a folder it could not list: the collector's look-up.
inline constexpr int StepLookUpFolder = 112;

Failure failureReport(const PathFailure &failure, const char *location, int step);
Failure folderFailureReport(const QString &folder, const QString &reason);
// "Save Results As Text File": the aligned text writer's steps.
std::optional<Failure> textFileReport(const std::optional<exports::ExportFailure> &failure);
// "Save Results As Excel File": the workbook's steps.
QList<Failure> workbookReports(const QList<exports::ExportFailure> &failures);

} // namespace brinmoor::app
