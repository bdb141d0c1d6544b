#pragma once

#include <memory>

#include <QSocketNotifier>

#include "services/PointerPressMonitor.h"

struct xcb_connection_t;

namespace ivra::platform {

// Presses seen through XInput 2 raw events, which the X server reports to any client that
// asks on the root window, whichever window gets the click, without a grab. A connection of
// its own, read on the main thread when it has events.
class X11PointerPressMonitor final : public PointerPressMonitor {
public:
    // Nothing when there is no X server or it lacks XInput 2.2.
    static std::unique_ptr<X11PointerPressMonitor> create();
    ~X11PointerPressMonitor() override;

    bool start(std::function<void(QPoint globalPosition)> onPress) override;
    void stop() override;

private:
    X11PointerPressMonitor(xcb_connection_t* connection, quint8 xinputOpcode, quint32 root);
    void select(bool pressesWanted);
    void readEvents();
    // Where the pointer is now, in Qt's coordinates.
    QPoint pointerPosition() const;

    xcb_connection_t* m_connection;
    quint8 m_xinputOpcode;
    quint32 m_root;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(QPoint)> m_onPress;
};

} // namespace ivra::platform
