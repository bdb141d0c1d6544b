// The keyboard services of this session, chosen at run time.

#include <QDBusConnection>
#include <QGuiApplication>

#include "keyboard/HotkeyBackend.h"
#include "keyboard/KeyboardLayout.h"
#include "platform/SessionType.h"
#include "platform/portal/PortalHotkeyBackend.h"
#include "platform/x11/X11HotkeyBackend.h"
#include "platform/x11/X11KeyboardLayout.h"

namespace ivra {

std::unique_ptr<KeyboardLayout> createKeyboardLayout() {
    if (platform::captureSessionType() == platform::SessionType::X11) {
        return platform::X11KeyboardLayout::create();
    }
    // Wayland gives the layout to the focused window only: shortcut texts use the keys'
    // US legends there.
    return nullptr;
}

std::unique_ptr<HotkeyBackend> createHotkeyBackend() {
    // On Wayland only the portal hears keys typed into other programs' windows (grabs made
    // through XWayland see keys only while an X11 window has the focus).
    if (platform::captureSessionType() == platform::SessionType::Wayland) {
        if (auto portal = platform::PortalHotkeyBackend::create(QDBusConnection::sessionBus())) {
            return portal;
        }
    }
    // Qt's offscreen platform answers to the X11 interface too, without a connection.
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        x11 && x11->connection()) {
        return std::make_unique<platform::X11HotkeyBackend>(x11->connection());
    }
    return nullptr;
}

} // namespace ivra
