#pragma once

#include <mutex>
#include <optional>

#include <opencv2/dnn.hpp>

#include <QImage>
#include <QString>

namespace ivra::segmentation {

// One ONNX network, read on first use (on whichever thread asks first) and kept for every
// later call. OpenCV's networks are not reentrant, so runs take turns. A missing or
// unreadable file gives no result and one log line; the file is looked for again on the
// next call, so fetching the models while Ivra runs is enough.
class SegmentationNetwork {
public:
    explicit SegmentationNetwork(QString path);

    // The network's one-channel "output" of `sizePx` (probabilities 0…1) for `blob` (NCHW
    // float32) as an 8-bit mask, 255 = 1.0. Nothing when the network cannot be loaded or
    // run, or answers with another size.
    std::optional<QImage> mask(const cv::Mat& blob, QSize sizePx);

private:
    // Reads the network unless it is read already. False when it cannot be.
    bool loadLocked();

    const QString m_path;
    std::mutex m_mutex;
    cv::dnn::Net m_net;
    bool m_loaded = false;
    bool m_reported = false;
};

} // namespace ivra::segmentation
