#pragma once

#include <functional>
#include <memory>

#include <QPoint>

namespace ivra {

// Mouse-button presses anywhere on the desktop, in other applications' windows too, seen
// without grabbing the pointer: every application keeps getting its clicks as usual. What
// the history shelf uses to close when the user clicks somewhere else.
class PointerPressMonitor {
public:
    virtual ~PointerPressMonitor() = default;
    // Starts reporting presses of the left and right buttons, at their global position in
    // Qt's (logical) coordinates, on the main thread. False when the desktop cannot say.
    virtual bool start(std::function<void(QPoint globalPosition)> onPress) = 0;
    virtual void stop() = 0;
};

// The monitor for this session; nothing where the desktop keeps other applications'
// input to itself (Wayland).
std::unique_ptr<PointerPressMonitor> createPointerPressMonitor();

} // namespace ivra
