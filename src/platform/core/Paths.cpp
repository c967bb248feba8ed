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
    const QDir exeDir(QCoreApplication::applicationDirPath());
    // An installed executable sits in the install's bin folder, with its
    // files in the data folder beside it, wherever the install was put.
    const QString installed = exeDir.filePath(QStringLiteral(BRINMOOR_DATA_FROM_BIN));
    if (QFileInfo(installed).isDir())
        return QDir::toNativeSeparators(QDir::cleanPath(installed));
    return QDir::toNativeSeparators(exeDir.path());
}

QString besideProgram(const QString &relativeName, const QString &folder)
{
    return QDir::toNativeSeparators(folder + QLatin1Char('/') + relativeName);
}

} // namespace brinmoor
