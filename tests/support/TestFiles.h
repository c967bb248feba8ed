#pragma once

#include "Paths.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

// Writes a small file, making its folders first. Names are made from their
// own bytes (nativePath), so that names which are not UTF-8 can be made too.
// A test cannot go on without the files it set up, so a failure ends it.
inline void touch(const QString &path, const QByteArray &content = "x\n")
{
    const QByteArray native = brinmoor::nativePath(path);
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(native.toStdString()).parent_path(), ignored);
    QFile file;
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)
        || file.write(content) != content.size())
        qFatal("cannot write %s", native.constData());
}
