#include "segmentation/SubjectBackgroundRemover.h"

#include "segmentation/ModelFiles.h"
#include "segmentation/SegmentationNetwork.h"
#include "segmentation/SubjectMask.h"

namespace ivra::segmentation {

SubjectBackgroundRemover::SubjectBackgroundRemover(const QString& modelPath)
    : m_network(std::make_unique<SegmentationNetwork>(modelPath)) {
}

SubjectBackgroundRemover::~SubjectBackgroundRemover() = default;

std::shared_ptr<const BackgroundRemover> SubjectBackgroundRemover::shared() {
    static const auto remover =
        std::make_shared<const SubjectBackgroundRemover>(subjectMaskModelPath());
    return remover;
}

std::optional<QImage> SubjectBackgroundRemover::subjectMask(const QImage& image) const {
    if (image.isNull()) {
        return std::nullopt;
    }
    // The network ends in a sigmoid: its values are already 0…1.
    return m_network->mask(networkInput(image, kInputSizePx), QSize(kInputSizePx, kInputSizePx));
}

std::optional<QImage> SubjectBackgroundRemover::cutout(const QImage& image) const {
    const std::optional<QImage> mask = subjectMask(image);
    if (!mask || !isSubject(largestSubject(*mask))) {
        return std::nullopt;
    }
    QImage result = applyMask(image, *mask);
    if (result.isNull()) {
        return std::nullopt;
    }
    return result;
}

} // namespace ivra::segmentation
