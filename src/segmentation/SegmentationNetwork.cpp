#include "segmentation/SegmentationNetwork.h"

#include <QDebug>
#include <QFileInfo>

#include "segmentation/ModelFiles.h"

namespace ivra::segmentation {

SegmentationNetwork::SegmentationNetwork(QString path)
    : m_path(std::move(path)) {
}

bool SegmentationNetwork::loadLocked() {
    if (m_loaded) {
        return true;
    }
    if (!QFileInfo(m_path).isFile()) {
        if (!std::exchange(m_reported, true)) {
            qWarning().noquote() << missingModelMessage(m_path);
        }
        return false;
    }
    try {
        m_net = cv::dnn::readNetFromONNX(m_path.toStdString());
        m_loaded = !m_net.empty();
    } catch (const cv::Exception& error) {
        m_loaded = false;
        if (!std::exchange(m_reported, true)) {
            qWarning().noquote() << QStringLiteral("ivra: cannot read the segmentation network "
                                                   "%1: %2; fetch it again with "
                                                   "scripts/fetch-models.sh")
                                        .arg(m_path, QString::fromStdString(error.msg));
        }
    }
    return m_loaded;
}

std::optional<QImage> SegmentationNetwork::mask(const cv::Mat& blob, QSize sizePx) {
    const std::lock_guard lock(m_mutex);
    if (!loadLocked()) {
        return std::nullopt;
    }
    try {
        m_net.setInput(blob, "input");
        const cv::Mat output = m_net.forward("output");
        if (output.total() != static_cast<size_t>(sizePx.width()) * sizePx.height() ||
            output.depth() != CV_32F) {
            return std::nullopt;
        }
        // forward() hands out the network's own buffer: convert before the lock goes.
        const cv::Mat probabilities(sizePx.height(), sizePx.width(), CV_32F,
                                    const_cast<float*>(output.ptr<float>()));
        QImage mask(sizePx, QImage::Format_Grayscale8);
        cv::Mat bytes(sizePx.height(), sizePx.width(), CV_8UC1, mask.bits(),
                      static_cast<size_t>(mask.bytesPerLine()));
        probabilities.convertTo(bytes, CV_8U, 255.0);
        return mask;
    } catch (const cv::Exception& error) {
        qWarning().noquote() << QStringLiteral("ivra: segmentation failed: %1")
                                    .arg(QString::fromStdString(error.msg));
        return std::nullopt;
    }
}

} // namespace ivra::segmentation
