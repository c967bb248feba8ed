#include "CountCommand.h"

#include <QCoreApplication>
#include <QFile>


int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brinmoor-count"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BRINMOOR_VERSION));

    // Buffered standard output (rows are many); standard error unbuffered.
    QFile out, err, in;
    out.open(1, QIODevice::WriteOnly);
    err.open(2, QIODevice::WriteOnly | QIODevice::Unbuffered);
    in.open(0, QIODevice::ReadOnly);
    return brinmoor::cli::runCommandLine(QCoreApplication::arguments(), out, err, in);
}
