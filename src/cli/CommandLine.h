#pragma once

#include "CountOptions.h"
#include "SummaryTable.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace brinmoor::cli {

enum class OutputFormat { Text, Csv, Json };

// What brinmoor-count was asked to do, once the arguments are understood.
struct CountCommand
{
    bool separate = false;
    counting::CountOptions options;
    QStringList paths;        // files and folders, in argument order
    QStringList filesFrom;    // list files to read more paths from ("-" is standard input)
    bool nullSeparated = false;
    QString extension;        // empty: every file of a folder argument
    int jobs = 0;             // 0: every core
    OutputFormat format = OutputFormat::Text;
    // --summary: the lines added up by extension or by folder (down to
    // summaryDepth levels below the common root; -1 for all).
    std::optional<summary::SummaryView> summary;
    int summaryDepth = -1;
    // How folder arguments' folders are opened for listing: empty for the
    // system's own call. A seam for tests (see WalkOptions::openFolder).
    std::function<int(const char *path)> openFolder;
};

struct ParsedCommandLine
{
    enum class Action { Count, Help, Version, UsageError };
    Action action = Action::UsageError;
    CountCommand command;
    QString text;   // the help or version text, or what is wrong with the arguments
};

// arguments as pathFromNative() makes them of the argument bytes, program
// name first. Taken over: a caller that moves them in has them freed as
// they are read.
ParsedCommandLine parseCommandLine(QStringList arguments);

} // namespace brinmoor::cli
