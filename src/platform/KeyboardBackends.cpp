// The keyboard services of this session, chosen at run time.

#include <QGuiApplication>

#include "keyboard/HotkeyBackend.h"
#include "keyboard/KeyboardLayout.h"
#include "platform/SessionType.h"
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
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        return std::make_unique<platform::X11HotkeyBackend>(x11->connection());
    }
    return nullptr;
}

} // namespace ivra
