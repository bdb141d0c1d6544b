#pragma once

#include <memory>

#include "capture/FrontmostApplication.h"
#include "platform/x11/DesktopIdResolver.h"

namespace ivra::platform {

class XcbConnection;

// The application of the window manager's active window (_NET_ACTIVE_WINDOW).
class X11FrontmostApplication final : public FrontmostApplication {
public:
    // Nothing when no X server answers on DISPLAY.
    static std::unique_ptr<X11FrontmostApplication> create();
    ~X11FrontmostApplication() override;

    std::optional<QString> currentApplicationID() override;

private:
    explicit X11FrontmostApplication(std::unique_ptr<XcbConnection> connection);

    std::unique_ptr<XcbConnection> m_connection;
    DesktopIdResolver m_resolver;
};

} // namespace ivra::platform
