#pragma once

#include <memory>
#include <optional>

#include <QString>

namespace ivra {

// The application the user works in right now, as a desktop-entry id (the name of its
// ".desktop" file without the extension). On X11 from _NET_ACTIVE_WINDOW; a Wayland
// session does not tell other clients, so the portal implementation knows nothing.
class FrontmostApplication {
public:
    virtual ~FrontmostApplication() = default;
    // Nothing when no window is active, the window's application has no desktop entry,
    // or the desktop does not tell. Ids are checked: only ids of installed entries.
    virtual std::optional<QString> currentApplicationID() = 0;
};

// The implementation for this session (same choice as createScreenCaptureBackend()).
std::unique_ptr<FrontmostApplication> createFrontmostApplication();

} // namespace ivra
