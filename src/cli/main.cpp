#include "CountCommand.h"
#include "CountRun.h"
#include "Paths.h"
#include "StandardOutput.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>

int main(int argc, char *argv[])
{
    brinmoor::counting::fitToProcessLimits();
    // A reader that leaves must not kill the program in the middle of a
    // write: the write fails instead, and the run stops there.
    std::signal(SIGPIPE, SIG_IGN);
    // Before anything opens a file, so that nothing lands on number 1 and
    // takes the results meant for the caller.
    const bool outputClosed = brinmoor::cli::fillClosedStandardDescriptors();

    // The arguments' own bytes: QCoreApplication::arguments() decodes them
    // lossily (bytes that are not UTF-8 are replaced, a leading byte-order
    // mark is dropped), and a path or word must be taken exactly as given.
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments << brinmoor::pathFromNative(argv[i]);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brinmoor-count"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BRINMOOR_VERSION));

    // Standard output is gathered by the writer and each write checked;
    // standard error unbuffered.
    brinmoor::cli::DescriptorOutput out(1, outputClosed);
    QFile err, in;
    err.open(2, QIODevice::WriteOnly | QIODevice::Unbuffered);
    in.open(0, QIODevice::ReadOnly);
    return brinmoor::cli::runCommandLine(std::move(arguments), out, err, in);
}
