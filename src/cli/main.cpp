#include "CountCommand.h"
#include "CountRun.h"
#include "Paths.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    brinmoor::counting::fitToProcessLimits();
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

    // Buffered standard output (rows are many); standard error unbuffered.
    QFile out, err, in;
    out.open(1, QIODevice::WriteOnly);
    err.open(2, QIODevice::WriteOnly | QIODevice::Unbuffered);
    in.open(0, QIODevice::ReadOnly);
    return brinmoor::cli::runCommandLine(arguments, out, err, in);
}
