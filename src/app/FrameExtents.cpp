#include "FrameExtents.h"

#include <QGuiApplication>
#include <QList>
#include <QWindow>

#ifdef BRINMOOR_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace brinmoor::app {

#ifdef BRINMOOR_HAVE_XCB
namespace {

xcb_connection_t *x11Connection()
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The values of a 32-bit property of window, as many as it holds up to
// `count`; empty where it is missing.
QList<quint32> property32(xcb_connection_t *connection, xcb_window_t window, const char *name, xcb_atom_t type,
                          int count)
{
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, std::strlen(name), name), nullptr);
    if (!atom)
        return {};
    const xcb_atom_t propertyAtom = atom->atom;
    std::free(atom);
    if (propertyAtom == XCB_ATOM_NONE)
        return {};
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, propertyAtom, type, 0, count), nullptr);
    if (!reply)
        return {};
    QList<quint32> values;
    if (reply->format == 32) {
        const auto *data = static_cast<const quint32 *>(xcb_get_property_value(reply));
        values = QList<quint32>(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

} // namespace
#endif

std::optional<QMargins> publishedFrameExtents(const QWindow &window)
{
#ifdef BRINMOOR_HAVE_XCB
    // Qt keeps the extents it saw first until the property changes again,
    // and rounds them to logical pixels; read them here as they are.
    xcb_connection_t *connection = x11Connection();
    if (!connection || !window.handle())
        return std::nullopt;
    const QList<quint32> values =
        property32(connection, xcb_window_t(window.winId()), "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 4);
    if (values.size() != 4)
        return std::nullopt;
    // left, right, top, bottom
    return QMargins(int(values[0]), int(values[2]), int(values[1]), int(values[3]));
#else
    Q_UNUSED(window);
    return std::nullopt;
#endif
}

bool windowManagerRunning()
{
#ifdef BRINMOOR_HAVE_XCB
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    return !property32(connection, root, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 1).isEmpty();
#else
    return false;
#endif
}

} // namespace brinmoor::app
