#pragma once

#include <functional>

#include <QImage>

namespace ivra {

// Where camera frames come from: the camera itself (Qt Multimedia) in the application,
// generated frames in tests (no camera exists on a headless machine).
//
// Frames are handed to the handler on the source's own thread, one call per frame; a
// handler that is busy drops frames rather than queueing them.
class CameraFrameSource {
public:
    using FrameHandler = std::function<void(const QImage& frame)>;

    virtual ~CameraFrameSource() = default;
    // Replaces the handler; an empty one stops delivery. Frames already being delivered
    // finish with the old handler.
    virtual void setFrameHandler(FrameHandler handler) = 0;
};

} // namespace ivra
