#pragma once

#include <QPointer>
#include <QTimer>
#include <QWindow>

#include "capture/OverlayKeyboard.h"

struct xcb_connection_t;

namespace ivra::platform {

// X11: an active keyboard grab on Qt's own connection (so the events reach Qt's windows).
// At the request the root window is grabbed in synchronous mode: the server queues every
// key instead of delivering it. Once the overlay is mapped the grab moves to it and the
// queue is released to it. A window that is not viewable yet cannot take the grab, so that
// step is retried every millisecond for up to a second.
class X11OverlayKeyboard final : public OverlayKeyboard {
public:
    // `connection` is the connection of the application's windows.
    explicit X11OverlayKeyboard(xcb_connection_t* connection);
    ~X11OverlayKeyboard() override;

    void holdKeys() override;
    void deliverTo(QWindow& window) override;
    void release() override;

private:
    bool tryGrab();

    xcb_connection_t* m_connection;
    QPointer<QWindow> m_target;
    QTimer m_retry;
    int m_attemptsLeft = 0;
    bool m_holding = false;
};

} // namespace ivra::platform
