#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include "recording/camera/CameraFrameSource.h"

namespace ivra {

namespace segmentation {
class PersonSegmenter;
}

// The camera picture with the background blurred behind the person. Created by the camera
// bubble when it is shown with "blur background" on and released when the bubble hides.
//
// Every frame is worked on by the renderer's own worker thread, one at a time: a frame
// that arrives while another is in the works is dropped, so a slow machine shows fewer
// frames instead of later ones. The finished picture goes to the bubble on the UI thread,
// and only while the bubble exists.
class BlurredCameraRenderer : public QObject {
    Q_OBJECT

public:
    // Gaussian of the background blur, in frame pixels.
    static constexpr double kBlurSigmaPx = 12.0;
    // The blur runs on the frame reduced by this factor (with sigma reduced alike) and is
    // stretched back: the same softness for a sigma this large, five times faster (measured
    // on 1280 × 720 frames; the full-size blur alone took 22 ms of the 25 ms a frame has).
    static constexpr int kBlurReduction = 2;

    explicit BlurredCameraRenderer(std::shared_ptr<const segmentation::PersonSegmenter> segmenter,
                                   QObject* parent = nullptr);
    // Stops taking frames from the attached source and waits for the frame in the works,
    // if any.
    ~BlurredCameraRenderer() override;

    // Takes `source`'s frames from now on and hands each picture to `show`, called on this
    // renderer's thread while `target` exists. `source` must outlive the renderer.
    void attach(CameraFrameSource& source, QObject* target, std::function<void(QImage)> show);

    // One frame's picture: the person sharp over the blurred frame. The frame unchanged
    // when no mask can be made.
    QImage render(const QImage& frame) const;

    // Blends `frame` (sharp where the mask is white) over its blurred copy (where the mask
    // is black). The mask, of any size, is stretched to the frame in each direction.
    // Without a mask, the frame unchanged.
    static QImage composite(const QImage& frame, const std::optional<QImage>& mask);

    // How many frames were dropped because one was in the works (for the benchmark and
    // tests).
    int droppedFrames() const { return m_dropped.load(); }

    // Hands `frame` to the worker unless one is in the works. Thread-safe.
    void submit(const QImage& frame);

private:
    void deliver(const QImage& picture);

    std::shared_ptr<const segmentation::PersonSegmenter> m_segmenter;
    QThreadPool m_worker;
    std::atomic<bool> m_busy = false;
    std::atomic<int> m_dropped = 0;
    CameraFrameSource* m_source = nullptr;
    QPointer<QObject> m_target;
    std::function<void(QImage)> m_show;
};

} // namespace ivra
