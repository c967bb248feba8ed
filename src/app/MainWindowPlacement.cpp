// Where the main window opens and stays: its size and place kept from the
// last start where that fits the screens present, its whole frame inside
// the available area.
#include "MainWindow.h"

#include "FrameExtents.h"
#include "WindowControls.h"
#include "WindowPlacement.h"

#include "SettingsStore.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cmath>

namespace brinmoor::app {

namespace {
constexpr int ClientWidth = WindowControls::DesignWidth;
constexpr int ClientHeight = WindowControls::DesignHeight;
// How long after showing the window is kept inside the available area
// whatever moves or sizes it (the window manager taking it on).
constexpr int SettleMilliseconds = 3000;
} // namespace

void MainWindow::showEvent(QShowEvent *event)
{
    // Before the window is mapped, so that it maps where it belongs.
    if (!m_placed) {
        m_placed = true;
        m_shownFor.start();
        placeOnScreen();
        // The frame's extents arrive as a property of the window, which no
        // event reports; they are looked at while the window settles.
        auto *settle = new QTimer(this);
        connect(settle, &QTimer::timeout, this, [this, settle] {
            keepFrameOnScreen();
            if (m_shownFor.elapsed() >= SettleMilliseconds)
                settle->deleteLater();
        });
        settle->start(100);
        if (QWindow *native = windowHandle())
            native->installEventFilter(this);
    }
    QWidget::showEvent(event);
}

QRect MainWindow::usableArea(const QScreen &shownOn) const
{
    // At a fractional scale the logical area's edges and the window's round
    // to device pixels independently: a pixel less on each side absorbs it.
    const QRect available = shownOn.availableGeometry();
    const qreal ratio = devicePixelRatioF();
    return qFuzzyCompare(ratio, std::round(ratio)) ? available : available.adjusted(1, 1, -1, -1);
}

QMargins MainWindow::knownFrame() const
{
    const QWindow *native = windowHandle();
    if (!native)
        return {};
    const qreal ratio = native->devicePixelRatio();
    if (const std::optional<QMargins> extents = publishedFrameExtents(*native)) {
        // Rounded up, so that a scaled frame's last device pixel fits too.
        const auto logical = [ratio](int pixels) { return int(std::ceil(pixels / ratio)); };
        return QMargins(logical(extents->left()), logical(extents->top()), logical(extents->right()),
                        logical(extents->bottom()));
    }
    // Not framed yet: a window as big as the free area when it maps may be
    // maximised by the window manager, so room is left for a usual frame.
    if (native->frameMargins().isNull() && windowManagerRunning()) {
        const auto logical = [ratio](int pixels) { return int(std::ceil(pixels / ratio)); };
        return QMargins(logical(4), logical(32), logical(4), logical(8));
    }
    // On a scaled screen Qt's rounding may lose up to half a pixel a side
    // of a frame; a window without one loses nothing.
    QMargins frame = native->frameMargins();
    if (!frame.isNull() && !qFuzzyCompare(ratio, 1.0))
        frame += QMargins(1, 1, 1, 1);
    return frame;
}

void MainWindow::placeOnScreen()
{
    // The design size is in logical pixels, which the screen's scale factor
    // already enlarges; on a screen too small for it the window shrinks to
    // the available area (never below what its controls need). The frame
    // is often unknown until the window manager has framed the window;
    // keepFrameOnScreen() places it again then.
    const QScreen *shownOn = screen();
    if (!shownOn)
        return;
    const QMargins frame = knownFrame();
    m_placedFrame = frame;
    const QSize minimum = minimumSizeHint().expandedTo(minimumSize());
    const SettingsStore &settings = *m_services.settings;

    QList<QRect> areas;
    for (const QScreen *each : QGuiApplication::screens())
        areas.append(each->availableGeometry());
    const std::optional<QRect> kept =
        placementFromText(settings.read(QLatin1String(settings::WindowPlacement), QString()));
    if (const std::optional<QRect> area = kept ? restorableArea(*kept, areas, frame, minimum) : std::nullopt) {
        m_wantedSize = area->size();
        setGeometry(*area);
    } else {
        // A new window opens at its design size in the middle of the screen.
        const QRect available = usableArea(*shownOn);
        QRect framed(QPoint(), QSize(ClientWidth + frame.left() + frame.right(),
                                     ClientHeight + frame.top() + frame.bottom()));
        framed.moveCenter(available.center());
        m_wantedSize = QSize(ClientWidth, ClientHeight);
        setGeometry(placeInside(available, frame, framed.marginsRemoved(frame), minimum));
    }
    const QString maximised = settings.read(QLatin1String(settings::WindowMaximized), QString());
    if (truthFromText(maximised).value_or(false))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::keepFrameOnScreen()
{
    // The frame's extents change when the window manager frames the window
    // (or changes its decoration); the whole frame, title bar included,
    // goes back inside the available area then. A window the user moved
    // stays where it is until that happens.
    // While the window manager takes the window on, it may also apply a
    // size or place it read before the window was placed; a short while
    // after showing, the window goes back inside whatever the cause.
    const QMargins frame = knownFrame();
    const bool settling = m_shownFor.isValid() && m_shownFor.elapsed() < SettleMilliseconds;
    if ((frame == m_placedFrame && !settling) || !screen()
        || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    m_placedFrame = frame;
    QRect client = geometry();
    // The size first asked for, not one a frame-less guess shrank.
    if (m_wantedSize.isValid())
        client.setSize(m_wantedSize);
    m_wantedSize = QSize();
    const QRect placed = placeInside(usableArea(*screen()), frame, client,
                                     minimumSizeHint().expandedTo(minimumSize()));
    if (placed != geometry())
        setGeometry(placed);
}

void MainWindow::keepPlacement()
{
    if (!m_placed)
        return;
    // After the words: a store that cannot be written tells the user once,
    // and that once belongs to the words. A position is not worth a box.
    SettingsStore &settings = *m_services.settings;
    settings.write(QLatin1String(settings::WindowPlacement), placementText(normalGeometry()));
    settings.write(QLatin1String(settings::WindowMaximized), truthText(isMaximized()));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle()
        && (event->type() == QEvent::Expose || event->type() == QEvent::Move || event->type() == QEvent::Resize))
        keepFrameOnScreen();
    return QWidget::eventFilter(watched, event);
}

} // namespace brinmoor::app
