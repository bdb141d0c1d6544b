#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>

#include <QRectF>
#include <QSize>

#include "capture/ScreenCaptureBackend.h"

namespace ivra {

// The host clock that frames and sound buffers are stamped on: CLOCK_MONOTONIC, in ns.
inline int64_t hostTimeNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// What the stream tells about a frame. Only complete frames carry new pixels; the others
// say the screen has not changed since the last frame.
enum class FrameStatus { Complete, Idle };

// One frame of a screen stream: 32-bit BGRA pixels (the fourth byte undefined) that stay
// valid as long as the frame object lives. The stream keeps a few frames in flight; holding
// on to all of them makes it drop new ones until one is released.
class ScreenFrame {
public:
    virtual ~ScreenFrame() = default;

    virtual FrameStatus status() const = 0;
    // The moment the pixels were read, on the host's monotonic clock (CLOCK_MONOTONIC).
    virtual int64_t presentationTimeNs() const = 0;
    // Empty for frames that are not complete.
    virtual QSize sizePx() const = 0;
    virtual const uint8_t* bits() const = 0;
    virtual int bytesPerLine() const = 0;
};

struct StreamConfiguration {
    // The size of the movie's frames; the stream's pixels are scaled to it by the consumer
    // when they differ (sizePx() of each frame tells).
    QSize sizePx;
    // At most one frame per interval.
    int64_t minimumFrameIntervalNs = 1'000'000'000 / 60;
    // Frames handed out and not yet released; beyond that, new frames are dropped.
    int queueDepth = 6;
    bool showsCursor = true;
    // Part of the display, in points relative to its top left; the whole display when absent.
    std::optional<QRectF> sourceRectPt;
};

// A running capture of one display: frames arrive on a thread of the stream's own, paced by
// the monotonic clock. The handler must be quick (hand the frame over to another queue).
class ScreenStream {
public:
    using FrameHandler = std::function<void(std::shared_ptr<const ScreenFrame>)>;

    virtual ~ScreenStream() = default;

    virtual std::optional<CaptureError> startCapture(FrameHandler handler) = 0;
    // Returns when no handler call runs any more.
    virtual void stopCapture() = 0;
};

} // namespace ivra
