#pragma once

#include "CommandLine.h"

class QIODevice;

namespace brinmoor::cli {

// Exit statuses of brinmoor-count.
enum ExitStatus { ExitOk = 0, ExitFailures = 1, ExitUsage = 2 };

// Gathers the paths (folders walked, lists read), counts them and writes the
// results to out as they arrive, failures to err. Needs a QCoreApplication;
// runs an event loop of its own until the run ends. The command is taken
// over so that its words are freed once prepared.
int runCount(CountCommand command, QIODevice &out, QIODevice &err, QIODevice &in);

// The whole program: parse the arguments, then help, version, usage error or
// runCount. Returns the exit status. The arguments are taken over (freed as
// they are read).
int runCommandLine(QStringList arguments, QIODevice &out, QIODevice &err, QIODevice &in);

} // namespace brinmoor::cli
