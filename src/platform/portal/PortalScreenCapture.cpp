#include "platform/portal/PortalScreenCapture.h"

#include "platform/portal/PortalFrontmostApplication.h"
#include "platform/portal/PortalScreenCaptureBackend.h"

namespace ivra::platform {

std::unique_ptr<ScreenCaptureBackend> createPortalScreenCaptureBackend() {
    return std::make_unique<PortalScreenCaptureBackend>();
}

std::unique_ptr<FrontmostApplication> createPortalFrontmostApplication() {
    return std::make_unique<PortalFrontmostApplication>();
}

} // namespace ivra::platform
