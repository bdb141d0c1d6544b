#pragma once

#include <cstdlib>
#include <utility>

#include <QRect>

#include <xcb/xcb.h>

namespace ivra::test {

// Another program's window, on an X connection of its own: the application a user was in
// when they asked for a capture. `managed` windows are placed and framed by the window
// manager like any application's; others stay exactly where they are put. It counts the
// key presses it gets. One that `takesClicks` keeps its button presses to itself, like a
// panel: the window manager never hears of them.
class ForeignWindow {
public:
    ForeignWindow(QRect geometry, bool managed, quint32 colour = 0xffffff,
                  bool takesClicks = false) {
        m_connection = xcb_connect(nullptr, nullptr);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        // In the order of the mask's bits.
        const uint32_t events =
            XCB_EVENT_MASK_KEY_PRESS | (takesClicks ? uint32_t(XCB_EVENT_MASK_BUTTON_PRESS) : 0u);
        const uint32_t values[] = {colour, managed ? 0u : 1u, events};
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root,
                          int16_t(geometry.x()), int16_t(geometry.y()), uint16_t(geometry.width()),
                          uint16_t(geometry.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(m_connection, m_window);
        sync();
    }
    ~ForeignWindow() { xcb_disconnect(m_connection); }
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;

    // Takes the keyboard focus, forgetting the keys counted so far.
    void focus() {
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
        sync();
        keysReceived();
    }
    // Key presses that reached it since the last call.
    int keysReceived() {
        poll();
        return std::exchange(m_keys, 0);
    }
    // Button presses that reached it since the last call (with `takesClicks`).
    int clicksReceived() {
        poll();
        return std::exchange(m_clicks, 0);
    }
    void sync() {
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    void poll() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            m_keys += (event->response_type & 0x7f) == XCB_KEY_PRESS;
            m_clicks += (event->response_type & 0x7f) == XCB_BUTTON_PRESS;
            std::free(event);
        }
    }

    int m_keys = 0;
    int m_clicks = 0;
    xcb_connection_t* m_connection;
    xcb_window_t m_window;
};

} // namespace ivra::test
