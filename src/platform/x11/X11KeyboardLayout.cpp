#include "platform/x11/X11KeyboardLayout.h"

#include <array>
#include <memory>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include "keyboard/KeyPositions.h"

namespace ivra::platform {

namespace {

struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};

} // namespace

std::unique_ptr<X11KeyboardLayout> X11KeyboardLayout::create() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (!connection || xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    if (!xkb_x11_setup_xkb_extension(
            connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const int device = xkb_x11_get_core_keyboard_device_id(connection);
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (device < 0 || !context) {
        xkb_context_unref(context);
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11KeyboardLayout>(new X11KeyboardLayout(connection, context, device));
}

X11KeyboardLayout::X11KeyboardLayout(xcb_connection_t* connection, xkb_context* context, int device)
    : m_connection(connection)
    , m_context(context)
    , m_device(device) {
}

X11KeyboardLayout::~X11KeyboardLayout() {
    xkb_context_unref(m_context);
    xcb_disconnect(m_connection);
}

std::optional<QString> X11KeyboardLayout::characterFor(quint16 position) const {
    const auto keycode = KeyPositions::toXkbKeycode(position);
    if (!keycode) {
        return std::nullopt;
    }
    const std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(xkb_x11_keymap_new_from_device(
        m_context, m_connection, m_device, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        return std::nullopt;
    }
    const std::unique_ptr<xkb_state, StateDeleter> current(
        xkb_x11_state_new_from_device(keymap.get(), m_connection, m_device));
    const std::unique_ptr<xkb_state, StateDeleter> plain(xkb_state_new(keymap.get()));
    if (!current || !plain) {
        return std::nullopt;
    }
    // The active layout (group), with no modifier held.
    const xkb_layout_index_t layout =
        xkb_state_serialize_layout(current.get(), XKB_STATE_LAYOUT_EFFECTIVE);
    xkb_state_update_mask(plain.get(), 0, 0, 0, 0, 0, layout);
    std::array<char, 16> text{};
    const int length = xkb_state_key_get_utf8(plain.get(), *keycode, text.data(), text.size());
    if (length <= 0 || length >= int(text.size())) {
        return std::nullopt;
    }
    return QString::fromUtf8(text.data(), length);
}

} // namespace ivra::platform
