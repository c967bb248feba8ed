#pragma once

#include "CommandLine.h"
#include "PathSource.h"

#include <memory>

class QIODevice;

namespace brinmoor::cli {

// Everything the command names, in order: the paths of the command line (a
// folder adds its files as the walk lists them), then the entries of each
// --files-from list, read from in for "-". Lists are read as the run asks
// for paths, so a list coming down a pipe is counted as it arrives.
std::unique_ptr<counting::PathSource> makeCommandPaths(const CountCommand &command, QIODevice &in);

} // namespace brinmoor::cli
