#include "WindowPlacement.h"

#include <QStringList>

namespace brinmoor::app {

QRect placeInside(const QRect &available, const QMargins &frame, const QRect &client, const QSize &minimum)
{
    const QSize frameExtra(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize size = client.size().boundedTo(available.size() - frameExtra).expandedTo(minimum);
    QRect framed(client.topLeft() - QPoint(frame.left(), frame.top()), size + frameExtra);
    if (framed.right() > available.right())
        framed.moveRight(available.right());
    if (framed.bottom() > available.bottom())
        framed.moveBottom(available.bottom());
    if (framed.left() < available.left())
        framed.moveLeft(available.left());
    if (framed.top() < available.top())
        framed.moveTop(available.top());
    return framed.marginsRemoved(frame);
}

QString placementText(const QRect &normal)
{
    return QStringLiteral("%1 %2 %3 %4").arg(normal.x()).arg(normal.y()).arg(normal.width()).arg(normal.height());
}

std::optional<QRect> placementFromText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return std::nullopt;
    int numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].toInt(&ok);
        // Anything past a sane screen size is damage, not a placement.
        if (!ok || qAbs(numbers[i]) > 100000)
            return std::nullopt;
    }
    if (numbers[2] <= 0 || numbers[3] <= 0)
        return std::nullopt;
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

std::optional<QRect> restorableArea(const QRect &normal, const QList<QRect> &availableAreas, const QMargins &frame,
                                    const QSize &minimum)
{
    if (normal.width() < minimum.width() || normal.height() < minimum.height())
        return std::nullopt;
    const QRect framed = normal.marginsAdded(frame);
    for (const QRect &available : availableAreas) {
        if (available.contains(framed))
            return normal;
    }
    return std::nullopt;
}

} // namespace brinmoor::app
