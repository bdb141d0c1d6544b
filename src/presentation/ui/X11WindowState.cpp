#include "presentation/ui/X11WindowState.h"

#include <vector>

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>

#include "platform/x11/XcbConnection.h"

namespace ivra {

namespace {

// Null when the application does not run on X11.
xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const QByteArray& name) {
    const auto reply = platform::xcbReply(
        connection, xcb_intern_atom_reply,
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.constData()));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

void X11WindowState::addStates(QWidget& window, const QByteArrayList& states) {
    xcb_connection_t* connection = x11Connection();
    if (!connection || states.isEmpty()) {
        return;
    }
    std::vector<xcb_atom_t> atoms;
    for (const QByteArray& state : states) {
        atoms.push_back(internAtom(connection, state));
    }
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, static_cast<xcb_window_t>(window.winId()),
                        internAtom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(atoms.size()), atoms.data());
    xcb_flush(connection);
}

void X11WindowState::showOnAllDesktops(QWidget& window) {
    xcb_connection_t* connection = x11Connection();
    if (!connection) {
        return;
    }
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(
        connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()),
        internAtom(connection, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_flush(connection);
}

std::optional<bool> X11WindowState::hasCompositingManager() {
    xcb_connection_t* connection = x11Connection();
    if (!connection) {
        return std::nullopt;
    }
    // The first screen's manager is the one that counts on a single-screen display.
    const auto owner = platform::xcbReply(
        connection, xcb_get_selection_owner_reply,
        xcb_get_selection_owner(connection, internAtom(connection, "_NET_WM_CM_S0")));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

QByteArrayList X11WindowState::states(QWidget& window) {
    xcb_connection_t* connection = x11Connection();
    if (!connection) {
        return {};
    }
    const auto reply = platform::xcbReply(
        connection, xcb_get_property_reply,
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(window.winId()),
                         internAtom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64));
    QByteArrayList names;
    if (!reply || reply->format != 32) {
        return names;
    }
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    for (int i = 0; i < count; ++i) {
        const auto name = platform::xcbReply(connection, xcb_get_atom_name_reply,
                                             xcb_get_atom_name(connection, atoms[i]));
        if (name) {
            names.append(QByteArray(xcb_get_atom_name_name(name.get()),
                                    xcb_get_atom_name_name_length(name.get())));
        }
    }
    return names;
}

} // namespace ivra
