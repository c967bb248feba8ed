#pragma once

#include <QList>
#include <QMargins>
#include <QRect>
#include <QString>

#include <optional>

namespace brinmoor::app {

// Where a window's client area goes so that its whole frame (title bar and
// borders, `frame` around the client) lies inside `available`: the client
// keeps its size where that fits, shrinks where not (never below `minimum`),
// and moves the least it must. Where even the minimum does not fit, the
// title bar stays reachable: the top-left edges win.
QRect placeInside(const QRect &available, const QMargins &frame, const QRect &client, const QSize &minimum);

// The client area of the window's normal (not maximised) state as kept
// between starts: "x y width height"; the maximised state is kept apart.
QString placementText(const QRect &normal);
std::optional<QRect> placementFromText(const QString &text);

// The kept client area where its whole frame fits one of the available
// areas (the screens present); nothing where it fits none, so that a window
// last shown on a screen now gone opens where a new one would.
std::optional<QRect> restorableArea(const QRect &normal, const QList<QRect> &availableAreas, const QMargins &frame,
                                    const QSize &minimum);

} // namespace brinmoor::app
