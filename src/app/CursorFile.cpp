#include "CursorFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>

namespace brinmoor::app {

namespace {

quint16 le16(const QByteArray &bytes, int at)
{
    return quint16(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8));
}

} // namespace

std::optional<QCursor> loadCursorFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    // Header (reserved 0, type 2 for cursors, image count), then the first
    // directory entry, whose "planes" and "bit count" fields hold the hot
    // spot in cursor files.
    if (bytes.size() < 22 || le16(bytes, 0) != 0 || le16(bytes, 4) == 0)
        return std::nullopt;
    const bool isCursor = le16(bytes, 2) == 2;
    const int hotX = isCursor ? le16(bytes, 10) : -1;
    const int hotY = isCursor ? le16(bytes, 12) : -1;

    // Qt's ICO reader takes icon files only, so present the cursor as one.
    QByteArray asIcon = bytes;
    asIcon[2] = 1;
    asIcon[3] = 0;
    QBuffer buffer(&asIcon);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    const QPixmap pixmap = QPixmap::fromImage(image);
    if (hotX < 0 || hotX >= pixmap.width() || hotY < 0 || hotY >= pixmap.height())
        return QCursor(pixmap);
    return QCursor(pixmap, hotX, hotY);
}

} // namespace brinmoor::app
