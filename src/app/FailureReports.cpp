#include "FailureReports.h"

namespace brinmoor::app {

namespace {

using exports::ExportStage;

int textFileStep(ExportStage stage)
{
    switch (stage) {
    case ExportStage::Create:
        return 106;
    case ExportStage::Header:
        return 108;
    case ExportStage::Rows:
    case ExportStage::Summary:   // the text has none
        return 112;
    case ExportStage::Close:
        break;
    }
    return 116;
}

int workbookStep(ExportStage stage)
{
    switch (stage) {
    case ExportStage::Create:
        return 110;
    case ExportStage::Header:
        return 114;
    case ExportStage::Rows:
        return 118;
    case ExportStage::Summary:
        return 120;
    case ExportStage::Close:
        break;
    }
    return 122;
}

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
    return failureReport(failure->failure, location::SaveListviewProperlySpaced, textFileStep(failure->stage));
}

QList<Failure> workbookReports(const QList<exports::ExportFailure> &failures)
{
    QList<Failure> reports;
    reports.reserve(failures.size());
    for (const exports::ExportFailure &failure : failures)
        reports.append(failureReport(failure.failure, location::SaveExcelFile, workbookStep(failure.stage)));
    return reports;
}

} // namespace brinmoor::app
