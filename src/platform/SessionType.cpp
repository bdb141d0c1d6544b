#include "platform/SessionType.h"

#include <cstdlib>
#include <cstring>

namespace ivra::platform {

namespace {

bool isSet(const char* value) {
    return value != nullptr && value[0] != '\0';
}

} // namespace

SessionType detectSessionType(const char* xdgSessionType, const char* waylandDisplay,
                              const char* display) {
    // The session manager's word wins; the socket variables decide when it says nothing
    // useful ("tty" from a terminal inside a desktop, or unset under a bare X server).
    if (isSet(xdgSessionType)) {
        if (std::strcmp(xdgSessionType, "wayland") == 0) {
            return SessionType::Wayland;
        }
        if (std::strcmp(xdgSessionType, "x11") == 0) {
            return SessionType::X11;
        }
    }
    if (isSet(waylandDisplay)) {
        return SessionType::Wayland;
    }
    if (isSet(display)) {
        return SessionType::X11;
    }
    return SessionType::Unknown;
}

SessionType sessionType() {
    static const SessionType detected = detectSessionType(
        std::getenv("XDG_SESSION_TYPE"), std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"));
    return detected;
}

SessionType captureSessionType() {
    const char* forced = std::getenv("IVRA_CAPTURE_BACKEND");
    if (isSet(forced)) {
        if (std::strcmp(forced, "x11") == 0) {
            return SessionType::X11;
        }
        if (std::strcmp(forced, "portal") == 0) {
            return SessionType::Wayland;
        }
    }
    return sessionType();
}

} // namespace ivra::platform
