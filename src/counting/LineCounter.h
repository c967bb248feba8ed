#pragma once

#include "CountOptions.h"
#include "CountTypes.h"

#include <QString>

namespace brinmoor::counting {

// Counts the lines of one file. Not-regular files (folders, FIFOs, devices)
// and files that cannot be opened or read fail with a description.
// Safe to call from any thread; each call is independent.
FileCount countFile(const QString &path, const OptionsSource &options, const CountControl &control = {});

// The same for any byte source.
FileCount countSource(ByteSource &source, const OptionsSource &options, const CountControl &control = {});

} // namespace brinmoor::counting
