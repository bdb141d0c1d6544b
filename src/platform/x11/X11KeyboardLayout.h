#pragma once

#include <memory>

#include "keyboard/KeyboardLayout.h"

struct xcb_connection_t;
struct xkb_context;

namespace ivra::platform {

// The X server's keyboard layout through xkbcommon, read afresh at every question, so a
// layout switched meanwhile (setxkbmap, a layout indicator) is what answers.
class X11KeyboardLayout final : public KeyboardLayout {
public:
    // Nothing without an X server that speaks XKB.
    static std::unique_ptr<X11KeyboardLayout> create();
    ~X11KeyboardLayout() override;

    std::optional<QString> characterFor(quint16 position) const override;

private:
    X11KeyboardLayout(xcb_connection_t* connection, xkb_context* context, int device);

    xcb_connection_t* m_connection;
    xkb_context* m_context;
    int m_device;
};

} // namespace ivra::platform
