#pragma once

#include <memory>
#include <optional>

#include <xcb/xcb.h>

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSet>

#include "capture/ScreenCaptureBackend.h"
#include "platform/x11/DesktopIdResolver.h"

namespace ivra::platform {

class ShmSegmentPool;
class X11DisplayMap;
class XcbConnection;

// Screen capture on an X server through a connection of its own.
//
// Displays are RandR 1.5 monitors; windows come from the window manager's EWMH lists.
// Still images are MIT-SHM grabs of the root window into kept segments (plain GetImage
// when the server has no MIT-SHM), returned without copying. A single window's pixels come
// from its Composite pixmap, so windows covering it do not show; like every X11 window it
// has no drop shadow unless a compositor draws one, and none is added. Display filters
// cannot leave windows out here: a filter with excluded windows fails.
class X11ScreenCaptureBackend final : public ScreenCaptureBackend {
public:
    struct Options {
        // Off: plain GetImage even where MIT-SHM works (remote servers, tests).
        bool useSharedMemory = true;
    };

    // Nothing when no X server answers on DISPLAY or it lacks RandR 1.5 monitors.
    static std::unique_ptr<X11ScreenCaptureBackend> create(Options options);
    static std::unique_ptr<X11ScreenCaptureBackend> create() { return create(Options{}); }
    ~X11ScreenCaptureBackend() override;

    QString name() const override;
    void shareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly,
                          std::function<void(CaptureResult<ShareableContent>)> done) override;
    void captureImage(const ContentFilter& filter, const CaptureConfiguration& configuration,
                      std::function<void(CaptureResult<QImage>)> done) override;
    std::optional<DisplayID> displayID(const QScreen& screen) const override;
    // A stream of the display's pixels, or of the part of it the configuration names, with
    // the filter's excluded windows left out (X11ScreenStream).
    CaptureResult<std::shared_ptr<ScreenStream>>
    createStream(const ContentFilter& filter, const StreamConfiguration& configuration) override;
    // One grab of every display, so the segments exist and are mapped on both sides.
    void warmUp() override;
    bool preflightAccess() const override { return true; }
    void requestAccess() override {}

    bool usesSharedMemory() const { return m_pool != nullptr; }
    // Segments kept for grabs, free or held by images.
    size_t sharedMemorySegmentCount() const;

private:
    X11ScreenCaptureBackend(std::unique_ptr<XcbConnection> connection, bool useSharedMemory);

    // Prepares grabs that the server makes opaque itself (Render into shared pixmaps).
    void setUpOpaqueGrabs();
    CaptureResult<X11DisplayMap> displayMap() const;
    CaptureResult<QImage> captureDisplay(const ContentFilter& filter,
                                         const CaptureConfiguration& configuration);
    void captureWindow(const ContentFilter& filter, const CaptureConfiguration& configuration,
                       std::function<void(CaptureResult<QImage>)> done);
    CaptureResult<QImage> readWindow(xcb_window_t client,
                                     const CaptureConfiguration& configuration);
    CaptureResult<QImage> grab(xcb_drawable_t drawable, const QRect& rectPx, uint8_t depth);
    CaptureResult<QImage> grabShared(xcb_drawable_t drawable, const QRect& rectPx,
                                     QImage::Format format);
    CaptureResult<QImage> grabPlain(xcb_drawable_t drawable, const QRect& rectPx,
                                    QImage::Format format);
    // The root's pixels composited by the server straight into a segment as opaque ARGB,
    // so no pass over the pixels is left for us; nothing when the server cannot.
    std::optional<QImage> grabOpaqueShared(const QRect& rectPx);
    // Draws the pointer into an image whose top-left pixel is at `originPx` on the root.
    void drawCursor(QImage& image, QPoint originPx);

    std::unique_ptr<XcbConnection> m_connection;
    std::unique_ptr<ShmSegmentPool> m_pool;
    // Render picture of the root window and the ARGB format, when the server offers
    // Render and shared-memory pixmaps; 0 otherwise.
    uint32_t m_rootPicture = 0;
    uint32_t m_argbFormat = 0;
    DesktopIdResolver m_resolver;
    // Why grabs of this server's pixel format are refused; empty when they work.
    QString m_formatProblem;
    // Frame windows already redirected by us: their pixmaps are current.
    QSet<xcb_window_t> m_redirected;
    // Context of delayed window reads, so none runs after the backend is gone.
    QObject m_pendingReads;
};

} // namespace ivra::platform
