#pragma once

#include <chrono>
#include <memory>

#include <QObject>

#include "capture/ScreenCaptureBackend.h"

namespace ivra::platform {

// Still captures in a Wayland session, through the desktop portal's Screenshot interface
// (org.freedesktop.portal.Screenshot) on the session bus.
//
// What Wayland does not allow here:
// - Windows: clients cannot list other clients' windows, so shareable content has no
//   windows, and a window filter fails.
// - Each capture asks the portal for the whole desktop, non-interactively, and cuts the
//   display out of it. Excluded windows stay in the picture, and the pointer is drawn or
//   not as the portal decides (configuration.showsCursor cannot be passed on).
// - Some desktops ask the user before the first screenshot, with a dialog of their own.
//
// Display ids are derived from the screen's name (stable across runs and screen changes).
// Frames are Qt's screen geometries, in points.
//
// Every completion runs on the calling thread after the call has returned. Destroying the
// backend withdraws the requests in flight; their completions are not called.
class PortalScreenCaptureBackend final : public ScreenCaptureBackend {
public:
    static constexpr std::chrono::milliseconds kDefaultResponseTimeout{30000};

    // responseTimeout: how long the portal may take to answer before the capture fails,
    // including any dialog it shows.
    explicit PortalScreenCaptureBackend(
        std::chrono::milliseconds responseTimeout = kDefaultResponseTimeout);
    ~PortalScreenCaptureBackend() override;

    QString name() const override;
    void shareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly,
                          std::function<void(CaptureResult<ShareableContent>)> done) override;
    void captureImage(const ContentFilter& filter, const CaptureConfiguration& configuration,
                      std::function<void(CaptureResult<QImage>)> done) override;
    std::optional<DisplayID> displayID(const QScreen& screen) const override;

    // The portal has no question to ask in advance: access is decided when a screenshot is
    // asked for. So this is true until the desktop refuses a screenshot, and true again
    // after one succeeds.
    bool preflightAccess() const override;
    // Does nothing: the portal offers no separate request. The desktop asks (if it asks at
    // all) during the next capture; a refusal is undone in the desktop's own settings.
    void requestAccess() override;

private:
    template <typename T>
    void completeLater(std::function<void(CaptureResult<T>)> done, CaptureResult<T> result);

    std::chrono::milliseconds m_responseTimeout;
    bool m_refused = false;
    // Parent of the requests in flight and of completions not yet delivered, so that they
    // end with the backend.
    std::unique_ptr<QObject> m_pending;
};

} // namespace ivra::platform
