#include "segmentation/PersonSegmenter.h"

#include "segmentation/SegmentationNetwork.h"

namespace ivra::segmentation {

PersonSegmenter::PersonSegmenter(const QString& modelPath)
    : m_network(std::make_unique<SegmentationNetwork>(modelPath)) {
}

PersonSegmenter::~PersonSegmenter() = default;

std::optional<QImage> PersonSegmenter::personMask(const QImage& frame) const {
    if (frame.isNull()) {
        return std::nullopt;
    }
    // Cameras deliver 32-bit frames; the network wants RGB in 0…1.
    const QImage rgb = frame.convertToFormat(QImage::Format_RGB888);
    const cv::Mat pixels(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                         static_cast<size_t>(rgb.bytesPerLine()));
    const cv::Mat blob =
        cv::dnn::blobFromImage(pixels, 1.0 / 255.0, cv::Size(kMaskWidthPx, kMaskHeightPx));
    return m_network->mask(blob, QSize(kMaskWidthPx, kMaskHeightPx));
}

} // namespace ivra::segmentation
