#include "SaveTarget.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brinmoor::exports {

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    return QStringLiteral("a special file");
}

} // namespace

SaveTarget chooseSaveTarget(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat link {};
    if (::lstat(native.constData(), &link) != 0)
        return {SaveTarget::Kind::Replace, path};   // nothing there yet (or the open says why)

    struct stat target = link;
    if (S_ISLNK(link.st_mode) && ::stat(native.constData(), &target) != 0) {
        // A link to nothing yet: the file it names is created, the link kept.
        return {SaveTarget::Kind::Replace, QFileInfo(path).symLinkTarget()};
    }
    if (S_ISREG(target.st_mode)) {
        return {SaveTarget::Kind::Replace,
                S_ISLNK(link.st_mode) ? QFileInfo(path).canonicalFilePath() : path};
    }
    if (S_ISCHR(target.st_mode) || S_ISFIFO(target.st_mode))
        return {SaveTarget::Kind::WriteThrough, path};
    return {SaveTarget::Kind::Refuse,
            QStringLiteral("this is %1, not a file, so the results were not written there.").arg(kindOf(target.st_mode))};
}

std::unique_ptr<DescriptorDevice> openInPlace(const QString &path, std::shared_ptr<WriteStop> stop,
                                              QString &reason)
{
    // Non-blocking from the open on: the open must not wait for a reader,
    // and the writes wait in poll, where a stop can reach them.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = errno == ENXIO ? QStringLiteral("no program is reading from this pipe") : systemErrorText(errno);
        return nullptr;
    }
    return std::make_unique<DescriptorDevice>(fd, std::move(stop));
}

} // namespace brinmoor::exports
