// The capture backends of this session, chosen at run time.

#include "capture/FrontmostApplication.h"
#include "capture/ScreenCaptureBackend.h"
#include "platform/SessionType.h"
#include "platform/portal/PortalScreenCapture.h"
#include "platform/x11/X11FrontmostApplication.h"
#include "platform/x11/X11ScreenCaptureBackend.h"

namespace ivra {

std::unique_ptr<ScreenCaptureBackend> createScreenCaptureBackend() {
    switch (platform::captureSessionType()) {
    case platform::SessionType::X11:
        return platform::X11ScreenCaptureBackend::create();
    case platform::SessionType::Wayland:
        return platform::createPortalScreenCaptureBackend();
    case platform::SessionType::Unknown:
        break;
    }
    return nullptr;
}

std::unique_ptr<FrontmostApplication> createFrontmostApplication() {
    switch (platform::captureSessionType()) {
    case platform::SessionType::X11:
        return platform::X11FrontmostApplication::create();
    case platform::SessionType::Wayland:
        return platform::createPortalFrontmostApplication();
    case platform::SessionType::Unknown:
        break;
    }
    return nullptr;
}

} // namespace ivra
