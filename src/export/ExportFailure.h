#pragma once

#include <PathFailure.h>

namespace brinmoor::exports {

// Where an export failed; the window tells its steps apart by it.
enum class ExportStage {
    Create,    // the file (or workbook) cannot be made
    Header,    // the header line or row
    Rows,      // the results rows
    Summary,   // the workbook's summary sheet
    Close,     // completing the file: flush, sync, rename, close
};

struct ExportFailure
{
    ExportStage stage = ExportStage::Create;
    PathFailure failure;

    bool operator==(const ExportFailure &) const = default;
};

} // namespace brinmoor::exports
