#pragma once

#include "capture/FrontmostApplication.h"

namespace ivra::platform {

// A Wayland session does not tell other clients which application is in front, so
// captures made there carry no source application.
class PortalFrontmostApplication final : public FrontmostApplication {
public:
    std::optional<QString> currentApplicationID() override { return std::nullopt; }
};

} // namespace ivra::platform
