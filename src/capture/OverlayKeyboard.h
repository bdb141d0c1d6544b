#pragma once

#include <memory>

class QWindow;

namespace ivra {

// Keeps the keyboard for the capture overlay from the moment a capture is requested:
// a letter typed right after the shortcut, before the overlay is on screen, must reach the
// overlay and never the application underneath.
class OverlayKeyboard {
public:
    virtual ~OverlayKeyboard() = default;
    // At the request: from now on keys wait for the overlay instead of going anywhere else.
    virtual void holdKeys() = 0;
    // Once the window is shown: it gets every key, the held ones first, and becomes the
    // active window. Called again when another overlay should take the keys.
    virtual void deliverTo(QWindow& window) = 0;
    // The capture is over: keys go where the desktop sends them again.
    virtual void release() = 0;
};

// The implementation for this session (same choice as createScreenCaptureBackend()).
std::unique_ptr<OverlayKeyboard> createOverlayKeyboard();

} // namespace ivra
