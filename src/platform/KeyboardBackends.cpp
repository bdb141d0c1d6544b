// The keyboard services of this session, chosen at run time.

#include "keyboard/KeyboardLayout.h"
#include "platform/SessionType.h"
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

} // namespace ivra
