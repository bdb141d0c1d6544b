#include "platform/x11/X11HotkeyBackend.h"

#include <array>
#include <cstdlib>

#include <QCoreApplication>
#include <xcb/xcb.h>

#include "keyboard/KeyPositions.h"

namespace ivra::platform {

namespace {

// Caps Lock and Num Lock (Mod2 on every common keymap) must not keep a shortcut from firing.
constexpr std::array<quint16, 4> kLockVariants{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                               XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr quint16 kLocks = XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2;

quint16 xModifiers(quint32 modifiers) {
    quint16 mask = 0;
    if (modifiers & keymod::Command) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers & keymod::Shift) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers & keymod::Option) {
        mask |= XCB_MOD_MASK_1; // Alt
    }
    if (modifiers & keymod::Control) {
        mask |= XCB_MOD_MASK_4; // Super
    }
    return mask;
}

} // namespace

X11HotkeyBackend::X11HotkeyBackend(xcb_connection_t* connection)
    : m_connection(connection) {
    if (const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data) {
        m_root = screen->root;
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotkeyBackend::~X11HotkeyBackend() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(this);
    }
    for (const auto& [id, grab] : m_grabs) {
        ungrab(grab);
    }
    xcb_flush(m_connection);
}

void X11HotkeyBackend::setPressHandler(std::function<void(quint32 id)> handler) {
    m_onPress = std::move(handler);
}

bool X11HotkeyBackend::registerHotKey(quint32 id, const HotKeyBinding& binding, const QString&) {
    unregisterHotKey(id);
    const auto keycode = binding.keyCode <= 0xffff
                             ? KeyPositions::toXkbKeycode(quint16(binding.keyCode))
                             : std::nullopt;
    if (!keycode || *keycode > 255 || m_root == 0) {
        return false;
    }
    const Grab grab{quint8(*keycode), xModifiers(binding.modifiers)};
    bool refused = false;
    for (const quint16 locks : kLockVariants) {
        const xcb_void_cookie_t cookie =
            xcb_grab_key_checked(m_connection, 1, m_root, grab.modifiers | locks, grab.keycode,
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            refused = true; // BadAccess: another client has it
            std::free(error);
        }
    }
    if (refused) {
        // Undo the variants that were granted: half a shortcut is none.
        ungrab(grab);
        xcb_flush(m_connection);
        return false;
    }
    m_grabs[id] = grab;
    return true;
}

void X11HotkeyBackend::ungrab(const Grab& grab) {
    for (const quint16 locks : kLockVariants) {
        xcb_ungrab_key(m_connection, grab.keycode, m_root, grab.modifiers | locks);
    }
}

void X11HotkeyBackend::unregisterHotKey(quint32 id) {
    const auto it = m_grabs.find(id);
    if (it == m_grabs.end()) {
        return;
    }
    ungrab(it->second);
    xcb_flush(m_connection);
    m_grabs.erase(it);
}

bool X11HotkeyBackend::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS) {
        return false;
    }
    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (press->event != m_root) {
        return false; // a key for one of Ivra's windows
    }
    const quint16 state = press->state & ~kLocks & 0xff;
    for (const auto& [id, grab] : m_grabs) {
        if (grab.keycode == press->detail && grab.modifiers == state) {
            if (m_onPress) {
                m_onPress(id);
            }
            return true;
        }
    }
    return false;
}

} // namespace ivra::platform
