#pragma once

#include <memory>
#include <optional>

#include <QImage>
#include <QString>

namespace ivra::segmentation {

class SegmentationNetwork;

// The person mask of a camera frame, from the small on-device person-segmentation
// network: 256 × 144 whatever the frame's size (the frame is stretched to it), a
// Format_Grayscale8 image where 255 is person. The network is read on the first frame and
// kept; calls from several threads take turns.
class PersonSegmenter {
public:
    static constexpr int kMaskWidthPx = 256;
    static constexpr int kMaskHeightPx = 144;

    explicit PersonSegmenter(const QString& modelPath);
    ~PersonSegmenter();

    // Nothing when the network is missing or fails.
    std::optional<QImage> personMask(const QImage& frame) const;

private:
    std::unique_ptr<SegmentationNetwork> m_network;
};

} // namespace ivra::segmentation
