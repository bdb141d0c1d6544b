#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include <xcb/xcb.h>

#include <QList>
#include <QRect>

#include "capture/ScreenStream.h"

namespace ivra::platform {

class ShmSegmentPool;
class XcbConnection;

// Frames of a rectangle of the root window for a recording, on a thread of its own with a
// connection of its own. XDamage tells when anything inside the rectangle changed, and
// XFixes (asked once a frame interval) whether the pointer moved or changed shape: then the
// pixels are grabbed (MIT-SHM, into segments of a small pool, handed out without copying)
// as soon as the minimum frame interval since the last frame allows, and the frame is
// complete. While nothing changes, an idle frame without pixels goes out once an interval.
// A change that finds every segment still held by the consumer is dropped and grabbed an
// interval later.
//
// Windows to leave out (this application's own) are taken out by the server itself: with
// every top-level window redirected (automatically: the screen looks the same), a frame is
// the root composed into the segment with Render, and where a left-out window is, the
// windows around it are composed again from their own pixmaps without it (black where no
// window is, as the root's background cannot be read back).
class X11ScreenStream final : public ScreenStream {
public:
    // Nothing when the server lacks MIT-SHM, XDamage or XFixes, or the rectangle is empty;
    // with windows to leave out, also when it lacks Composite, Render or shared pixmaps.
    static std::unique_ptr<X11ScreenStream> create(const QRect& sourceRectPx,
                                                   const StreamConfiguration& configuration,
                                                   const QList<WindowID>& excludedWindows);
    ~X11ScreenStream() override;

    std::optional<CaptureError> startCapture(FrameHandler handler) override;
    void stopCapture() override;

    // Ticks whose frame was dropped because the consumer still held queueDepth frames.
    int droppedFrameCount() const { return m_dropped.load(); }

private:
    X11ScreenStream(std::unique_ptr<XcbConnection> connection, const QRect& sourceRectPx,
                    const StreamConfiguration& configuration, QList<WindowID> excludedWindows);
    // Leaving windows out: every top-level window is kept off screen (automatic
    // redirection, the server still shows them), so each one's own pixels stay readable.
    bool setUpExclusion();

    void run(const FrameHandler& handler);
    // Sleeps until `untilNs` or until the server sends something on `fd` (-1: none).
    static void waitForEvents(int fd, int64_t untilNs);
    // Reads pending damage events; whether one touched the source rectangle.
    bool takeDamage();
    // Whether the pointer moved or changed since the last frame; keeps its image for drawing.
    bool takeCursorChange();
    std::shared_ptr<const ScreenFrame> grab(int64_t timeNs);
    // The server composes the frame into the segment: the screen, then, where a left-out
    // window is, the windows beneath (and above) it without it. True when it did.
    bool composeWithoutExcluded(uint32_t segmentID);

    std::unique_ptr<XcbConnection> m_connection;
    std::unique_ptr<ShmSegmentPool> m_pool;
    QRect m_sourceRectPx;
    StreamConfiguration m_configuration;
    QList<WindowID> m_excludedWindows;
    // Render picture of the root (with its children) and the ARGB format, for leaving
    // windows out; 0 otherwise.
    uint32_t m_rootPicture = 0;
    uint32_t m_argbFormat = 0;
    uint32_t m_damage = 0;
    uint8_t m_damageNotifyEvent = 0;
    // The pointer as last drawn: its image (premultiplied ARGB) and where its hot spot was.
    struct Cursor;
    std::unique_ptr<Cursor> m_cursor;
    int64_t m_nextCursorCheckNs = 0;
    // Frames handed out and not yet released; shared with them, as they may outlive us.
    std::shared_ptr<std::atomic<int>> m_inFlight = std::make_shared<std::atomic<int>>(0);
    std::atomic<int> m_dropped{0};
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};

} // namespace ivra::platform
