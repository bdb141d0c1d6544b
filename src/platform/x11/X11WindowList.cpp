#include "platform/x11/X11WindowList.h"

#include <algorithm>

#include "platform/x11/DesktopIdResolver.h"
#include "platform/x11/X11DisplayMap.h"
#include "platform/x11/XcbConnection.h"

namespace ivra::platform {

X11WindowList::X11WindowList(XcbConnection& connection, const X11DisplayMap& displays,
                             const DesktopIdResolver& resolver)
    : m_connection(connection)
    , m_displays(displays)
    , m_resolver(resolver) {
}

QList<CaptureWindow> X11WindowList::windows() {
    QList<CaptureWindow> windows;
    for (const xcb_window_t client : clientsTopmostFirst()) {
        if (auto window = describe(client)) {
            windows << *window;
        }
    }
    return windows;
}

QList<xcb_window_t> X11WindowList::clientsTopmostFirst() {
    xcb_connection_t* c = m_connection.get();
    QList<xcb_window_t> clients;
    if (const auto stacking = m_connection.cardinalProperty(
            m_connection.root(), m_connection.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW)) {
        clients = *stacking;
    } else {
        // No window manager: the root's children, bottom to top, minus pop-ups (menus,
        // tooltips) and input-only windows.
        const auto tree = xcbReply(c, xcb_query_tree_reply, xcb_query_tree(c, m_connection.root()));
        if (!tree) {
            return {};
        }
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        for (int i = 0; i < count; ++i) {
            const auto attributes = xcbReply(c, xcb_get_window_attributes_reply,
                                             xcb_get_window_attributes(c, children[i]));
            if (attributes && !attributes->override_redirect &&
                attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT) {
                clients << children[i];
            }
        }
    }
    std::reverse(clients.begin(), clients.end());
    return clients;
}

bool X11WindowList::hasAtom(const std::optional<QList<quint32>>& atoms, const char* name) {
    return atoms && atoms->contains(m_connection.atom(name));
}

std::optional<CaptureWindow> X11WindowList::describe(xcb_window_t client) {
    xcb_connection_t* c = m_connection.get();
    const auto frame = frameWindow(m_connection, client);
    if (!frame) {
        return std::nullopt;
    }
    const auto frameRect = frameRectPx(client, *frame);
    const auto attributes =
        xcbReply(c, xcb_get_window_attributes_reply, xcb_get_window_attributes(c, *frame));
    if (!frameRect || !attributes) {
        return std::nullopt;
    }
    const auto state =
        m_connection.cardinalProperty(client, m_connection.atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
    const auto types = m_connection.cardinalProperty(
        client, m_connection.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
    const auto pid =
        m_connection.cardinalProperty(client, m_connection.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);

    CaptureWindow window;
    window.windowID = client;
    window.frame = m_displays.toPoints(*frameRect);
    window.isOnScreen =
        attributes->map_state == XCB_MAP_STATE_VIEWABLE && !hasAtom(state, "_NET_WM_STATE_HIDDEN");
    if (hasAtom(types, "_NET_WM_WINDOW_TYPE_DESKTOP")) {
        window.windowLayer = kDesktopLayer;
    } else if (hasAtom(types, "_NET_WM_WINDOW_TYPE_DOCK")) {
        window.windowLayer = kDockLayer;
    } else if (hasAtom(state, "_NET_WM_STATE_ABOVE")) {
        window.windowLayer = kAboveLayer;
    } else {
        window.windowLayer = kNormalLayer;
    }
    window.pid = pid && !pid->isEmpty() ? pid->first() : 0;
    if (const auto name = m_connection.byteProperty(client, m_connection.atom("_NET_WM_NAME"),
                                                    m_connection.atom("UTF8_STRING"))) {
        window.title = QString::fromUtf8(*name);
    } else if (const auto legacyName =
                   m_connection.byteProperty(client, XCB_ATOM_WM_NAME, XCB_ATOM_STRING)) {
        window.title = QString::fromLatin1(*legacyName);
    }
    window.applicationID = m_resolver.applicationID(m_connection, client, window.pid);
    return window;
}

std::optional<QRect> X11WindowList::frameRectPx(xcb_window_t client, xcb_window_t frame) {
    xcb_connection_t* c = m_connection.get();
    const auto geometry = xcbReply(c, xcb_get_geometry_reply, xcb_get_geometry(c, frame));
    const auto origin = xcbReply(c, xcb_translate_coordinates_reply,
                                 xcb_translate_coordinates(c, frame, m_connection.root(), 0, 0));
    if (!geometry || !origin) {
        return std::nullopt;
    }
    const int border = geometry->border_width;
    QRect rect(origin->dst_x - border, origin->dst_y - border, geometry->width + 2 * border,
               geometry->height + 2 * border);
    if (frame == client) {
        // Not reparented: the decorations the window manager announces lie around it.
        const auto extents = m_connection.cardinalProperty(
            client, m_connection.atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
        if (extents && extents->size() == 4) {
            rect.adjust(-int(extents->at(0)), -int(extents->at(2)), int(extents->at(1)),
                        int(extents->at(3)));
        }
    }
    return rect;
}

std::optional<xcb_window_t> X11WindowList::frameWindow(XcbConnection& connection,
                                                       xcb_window_t client) {
    xcb_connection_t* c = connection.get();
    xcb_window_t window = client;
    // Reparenting window managers nest a client a few levels deep at most.
    for (int depth = 0; depth < 16; ++depth) {
        const auto tree = xcbReply(c, xcb_query_tree_reply, xcb_query_tree(c, window));
        if (!tree) {
            return std::nullopt;
        }
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) {
            return window;
        }
        window = tree->parent;
    }
    return std::nullopt;
}

} // namespace ivra::platform
