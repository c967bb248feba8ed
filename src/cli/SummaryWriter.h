#pragma once

#include "CommandLine.h"
#include "ResultWriter.h"

#include <memory>

class QIODevice;

namespace brinmoor::cli {

// --summary: adds every counted file up and writes the table at the end;
// with -s the file rows come first, as the plain output would give them.
std::unique_ptr<ResultWriter> makeSummaryWriter(const CountCommand &command, QIODevice &out);

} // namespace brinmoor::cli
