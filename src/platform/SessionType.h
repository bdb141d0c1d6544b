#pragma once

namespace ivra::platform {

// The kind of graphical session this process runs in.
enum class SessionType { Unknown, X11, Wayland };

// Detected once per process from XDG_SESSION_TYPE, WAYLAND_DISPLAY and DISPLAY.
SessionType sessionType();

// Pure form of the detection, for tests: the three variables as read (empty when unset).
SessionType detectSessionType(const char* xdgSessionType, const char* waylandDisplay,
                              const char* display);

// Which capture backend serves the session: IVRA_CAPTURE_BACKEND=x11|portal forces one,
// otherwise X11 for X11 sessions and the portal on Wayland.
SessionType captureSessionType();

} // namespace ivra::platform
