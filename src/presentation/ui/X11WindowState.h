#pragma once

#include <optional>

#include <QByteArrayList>

class QWidget;

namespace ivra {

// Window-manager hints that Qt has no flag for, for top-level windows on X11. They are
// written before the window is first shown, when window managers read them (Qt adds its
// own states to those it finds). Nothing happens on other platforms.
class X11WindowState {
public:
    // Adds states such as "_NET_WM_STATE_SKIP_TASKBAR" to the window's _NET_WM_STATE.
    static void addStates(QWidget& window, const QByteArrayList& states);
    // Puts the window on every virtual desktop (_NET_WM_DESKTOP = all).
    static void showOnAllDesktops(QWidget& window);
    // Whether a compositing manager runs (translucent windows then blend); nothing off X11.
    static std::optional<bool> hasCompositingManager();
    // The window's _NET_WM_STATE names as the X server has them; empty off X11.
    static QByteArrayList states(QWidget& window);
};

} // namespace ivra
