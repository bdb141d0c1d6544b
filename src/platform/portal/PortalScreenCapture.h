#pragma once

#include <memory>

#include "capture/FrontmostApplication.h"
#include "capture/ScreenCaptureBackend.h"

namespace ivra::platform {

// The Wayland implementations, through the XDG desktop portal.
std::unique_ptr<ScreenCaptureBackend> createPortalScreenCaptureBackend();
std::unique_ptr<FrontmostApplication> createPortalFrontmostApplication();

} // namespace ivra::platform
