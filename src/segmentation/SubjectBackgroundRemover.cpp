#include "segmentation/SubjectBackgroundRemover.h"

#include <QPainter>

#include "segmentation/ModelFiles.h"
#include "segmentation/SegmentationNetwork.h"
#include "segmentation/SubjectMask.h"

namespace ivra::segmentation {

namespace {

// Transparent parts of the input (an image already cut out) are seen by the network as
// this grey, which its normalisation turns into zero.
constexpr QRgb kTransparentSeenAs = qRgb(128, 128, 128);

// The network's input: RGB, (value − 128) / 256, stretched to a square.
cv::Mat inputBlob(const QImage& image) {
    QImage rgb(image.size(), QImage::Format_RGB888);
    if (image.hasAlphaChannel()) {
        rgb.fill(kTransparentSeenAs);
        QPainter painter(&rgb);
        painter.drawImage(0, 0, image);
    } else {
        rgb = image.convertToFormat(QImage::Format_RGB888);
    }
    const cv::Mat pixels(rgb.height(), rgb.width(), CV_8UC3, rgb.bits(),
                         static_cast<size_t>(rgb.bytesPerLine()));
    const int side = SubjectBackgroundRemover::kInputSizePx;
    return cv::dnn::blobFromImage(pixels, 1.0 / 256.0, cv::Size(side, side),
                                  cv::Scalar(128, 128, 128), /*swapRB=*/false, /*crop=*/false);
}

} // namespace

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
    return m_network->mask(inputBlob(image), QSize(kInputSizePx, kInputSizePx));
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
