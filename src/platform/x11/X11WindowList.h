#pragma once

#include <optional>

#include <xcb/xcb.h>

#include <QList>
#include <QRect>

#include "capture/ScreenCaptureBackend.h"

namespace ivra::platform {

class DesktopIdResolver;
class X11DisplayMap;
class XcbConnection;

// The top-level windows of the X server, topmost first: the window manager's stacking list
// (EWMH) when one runs, else the root's children. Window ids are the clients' own windows
// (what _NET_ACTIVE_WINDOW names); frames are the window manager's frame windows.
class X11WindowList {
public:
    // windowLayer values, ordered like the stacking layers of EWMH.
    static constexpr int kDesktopLayer = -1;
    static constexpr int kNormalLayer = 0;
    static constexpr int kAboveLayer = 3; // _NET_WM_STATE_ABOVE
    static constexpr int kDockLayer = 20; // _NET_WM_WINDOW_TYPE_DOCK (panels)

    X11WindowList(XcbConnection& connection, const X11DisplayMap& displays,
                  const DesktopIdResolver& resolver);

    QList<CaptureWindow> windows();

    // The window manager's frame around a client (its ancestor just below the root), or
    // the client itself without a reparenting window manager; nothing when it has gone.
    static std::optional<xcb_window_t> frameWindow(XcbConnection& connection, xcb_window_t client);

private:
    QList<xcb_window_t> clientsTopmostFirst();
    std::optional<CaptureWindow> describe(xcb_window_t client);
    std::optional<QRect> frameRectPx(xcb_window_t client, xcb_window_t frame);
    bool hasAtom(const std::optional<QList<quint32>>& atoms, const char* name);

    XcbConnection& m_connection;
    const X11DisplayMap& m_displays;
    const DesktopIdResolver& m_resolver;
};

} // namespace ivra::platform
