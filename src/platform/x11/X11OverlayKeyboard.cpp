#include "platform/x11/X11OverlayKeyboard.h"

#include <xcb/xcb.h>

#include "platform/x11/XcbConnection.h"

namespace ivra::platform {

namespace {

constexpr int kRetryIntervalMs = 1;
constexpr int kRetryAttempts = 1000;

xcb_window_t rootWindow(xcb_connection_t* connection) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    return screen ? screen->root : xcb_window_t(XCB_WINDOW_NONE);
}

} // namespace

X11OverlayKeyboard::X11OverlayKeyboard(xcb_connection_t* connection)
    : m_connection(connection) {
    m_retry.setInterval(kRetryIntervalMs);
    QObject::connect(&m_retry, &QTimer::timeout, [this] {
        if (tryGrab()) {
            m_retry.stop();
        } else if (--m_attemptsLeft <= 0) {
            // The window never became viewable: never leave the keyboard frozen. Keys go
            // where the desktop sends them, the window asks to be the active one.
            QPointer<QWindow> target = m_target;
            release();
            if (target) {
                target->requestActivate();
            }
        }
    });
}

X11OverlayKeyboard::~X11OverlayKeyboard() {
    release();
}

void X11OverlayKeyboard::holdKeys() {
    const xcb_window_t root = rootWindow(m_connection);
    if (root == XCB_WINDOW_NONE) {
        return;
    }
    const auto reply = xcbReply(m_connection, xcb_grab_keyboard_reply,
                                xcb_grab_keyboard(m_connection, 0, root, XCB_CURRENT_TIME,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
    // Refused when another client holds the keyboard (a menu, a screen locker): then the
    // overlay takes the keys once it is shown, as any window would.
    m_holding = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
}

void X11OverlayKeyboard::deliverTo(QWindow& window) {
    m_target = &window;
    m_attemptsLeft = kRetryAttempts;
    if (tryGrab()) {
        m_retry.stop();
    } else {
        m_retry.start();
    }
}

bool X11OverlayKeyboard::tryGrab() {
    if (!m_target) {
        return true;
    }
    const auto reply =
        xcbReply(m_connection, xcb_grab_keyboard_reply,
                 xcb_grab_keyboard(m_connection, 0, xcb_window_t(m_target->winId()),
                                   XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    if (!reply || reply->status != XCB_GRAB_STATUS_SUCCESS) {
        return false;
    }
    // Hand the queued keys to the new grab, in the order they were typed.
    xcb_allow_events(m_connection, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    m_holding = true;
    m_target->requestActivate();
    return true;
}

void X11OverlayKeyboard::release() {
    m_retry.stop();
    m_target = nullptr;
    if (m_holding) {
        xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        m_holding = false;
    }
}

} // namespace ivra::platform
