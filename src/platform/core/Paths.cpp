#include "Paths.h"

#include <QDir>

namespace brinmoor {

QChar pathSeparator()
{
    return QDir::separator();
}

QString GetFileNameFromPath(const QString &path)
{
    const qsizetype cut = path.lastIndexOf(pathSeparator());
    return cut < 0 ? path : path.mid(cut + 1);
}

} // namespace brinmoor

#include <QCoreApplication>
#include <QFileInfo>

namespace brinmoor {

QString programFolder()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    // An installed executable sits in the install's bin folder; its files
    // were put in the data folder by the install.
    const QString installedBin = QFileInfo(QStringLiteral(BRINMOOR_INSTALL_BINDIR)).canonicalFilePath();
    if (!installedBin.isEmpty() && QFileInfo(exeDir).canonicalFilePath() == installedBin)
        return QDir::toNativeSeparators(QStringLiteral(BRINMOOR_INSTALL_DATADIR));
    return QDir::toNativeSeparators(exeDir);
}

QString besideProgram(const QString &relativeName, const QString &folder)
{
    return QDir::toNativeSeparators(folder + QLatin1Char('/') + relativeName);
}

} // namespace brinmoor
