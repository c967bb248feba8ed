#include "FailureReports.h"

#include <iterator>

namespace brinmoor::app {

namespace {

// The "at line" step of each export stage, in ExportStage's order. The text
// file has no summary sheet.
constexpr int TextFileSteps[] = {106, 108, 112, 112, 116};
constexpr int WorkbookSteps[] = {110, 114, 118, 120, 122};
static_assert(std::size(TextFileSteps) == std::size_t(exports::ExportStage::Close) + 1);
static_assert(std::size(WorkbookSteps) == std::size_t(exports::ExportStage::Close) + 1);

} // namespace

Failure failureReport(const PathFailure &failure, const char *location, int step)
{
    const QString description =
        failure.path.isEmpty() ? failure.reason : failure.path + QStringLiteral(": ") + failure.reason;
    return Failure{description, QString::fromLatin1(location), step};
}

Failure folderFailureReport(const QString &folder, const QString &reason)
{
    return failureReport({folder, reason}, location::GetSubDirectories2016, StepLookUpFolder);
}

std::optional<Failure> textFileReport(const std::optional<exports::ExportFailure> &failure)
{
    if (!failure)
        return std::nullopt;
    return failureReport(failure->failure, location::SaveListviewProperlySpaced, TextFileSteps[int(failure->stage)]);
}

QList<Failure> workbookReports(const QList<exports::ExportFailure> &failures)
{
    QList<Failure> reports;
    reports.reserve(failures.size());
    for (const exports::ExportFailure &failure : failures)
        reports.append(failureReport(failure.failure, location::SaveExcelFile, WorkbookSteps[int(failure.stage)]));
    return reports;
}

} // namespace brinmoor::app
