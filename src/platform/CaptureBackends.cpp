// The capture backends of this session, chosen at run time.

#include <QGuiApplication>
#include <QWindow>

#include "capture/FrontmostApplication.h"
#include "capture/OverlayKeyboard.h"
#include "capture/ScreenCaptureBackend.h"
#include "platform/SessionType.h"
#include "platform/portal/PortalScreenCapture.h"
#include "platform/x11/X11FrontmostApplication.h"
#include "platform/x11/X11OverlayKeyboard.h"
#include "platform/x11/X11ScreenCaptureBackend.h"

namespace ivra {

namespace {

// Where Ivra cannot hold the keyboard itself (Wayland compositors give it to the window
// they activate), the overlay asks to be the active window and gets the keys from then on.
class ActivatingOverlayKeyboard final : public OverlayKeyboard {
public:
    void holdKeys() override {}
    void deliverTo(QWindow& window) override { window.requestActivate(); }
    void release() override {}
};

} // namespace

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

std::unique_ptr<OverlayKeyboard> createOverlayKeyboard() {
    // Qt's offscreen platform answers to the X11 interface too, without a connection.
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        x11 && x11->connection()) {
        return std::make_unique<platform::X11OverlayKeyboard>(x11->connection());
    }
    return std::make_unique<ActivatingOverlayKeyboard>();
}

} // namespace ivra
