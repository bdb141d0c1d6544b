#include "recording/camera/BlurredCameraRenderer.h"

#include <opencv2/imgproc.hpp>

#include "segmentation/PersonSegmenter.h"

namespace ivra {

namespace {

cv::Mat wrap(QImage& image, int type) {
    return cv::Mat(image.height(), image.width(), type, image.bits(),
                   static_cast<size_t>(image.bytesPerLine()));
}

// The frame blurred with a Gaussian of kBlurSigmaPx, edges clamped (the pixels beyond the
// border repeat the border's, so edges do not darken).
cv::Mat blurred(const cv::Mat& frame) {
    const int reduction = BlurredCameraRenderer::kBlurReduction;
    const cv::Size reduced(std::max(1, frame.cols / reduction),
                           std::max(1, frame.rows / reduction));
    cv::Mat small;
    cv::resize(frame, small, reduced, 0, 0, cv::INTER_AREA);
    const double sigma = BlurredCameraRenderer::kBlurSigmaPx / reduction;
    cv::GaussianBlur(small, small, cv::Size(), sigma, sigma, cv::BORDER_REPLICATE);
    cv::Mat result;
    cv::resize(small, result, frame.size(), 0, 0, cv::INTER_LINEAR);
    return result;
}

} // namespace

BlurredCameraRenderer::BlurredCameraRenderer(
    std::shared_ptr<const segmentation::PersonSegmenter> segmenter, QObject* parent)
    : QObject(parent)
    , m_segmenter(std::move(segmenter)) {
    // One worker: frames are worked on in order, never two at once.
    m_worker.setMaxThreadCount(1);
    m_worker.setObjectName(QStringLiteral("vantrel.camera.blur"));
}

BlurredCameraRenderer::~BlurredCameraRenderer() {
    if (m_source) {
        m_source->setFrameHandler({});
    }
    m_worker.waitForDone();
}

void BlurredCameraRenderer::attach(CameraFrameSource& source, QObject* target,
                                   std::function<void(QImage)> show) {
    if (m_source) {
        m_source->setFrameHandler({});
    }
    m_source = &source;
    m_target = target;
    m_show = std::move(show);
    source.setFrameHandler([this](const QImage& frame) { submit(frame); });
}

void BlurredCameraRenderer::submit(const QImage& frame) {
    if (m_busy.exchange(true)) {
        ++m_dropped;
        return;
    }
    m_worker.start([this, frame] {
        const QImage picture = render(frame);
        // The renderer outlives this job (its destructor waits for it); a renderer deleted
        // before the call below runs takes the queued call with it.
        QMetaObject::invokeMethod(
            this, [this, picture] { deliver(picture); }, Qt::QueuedConnection);
        m_busy = false;
    });
}

void BlurredCameraRenderer::deliver(const QImage& picture) {
    if (m_target && m_show && !picture.isNull()) {
        m_show(picture);
    }
}

QImage BlurredCameraRenderer::render(const QImage& frame) const {
    if (frame.isNull()) {
        return {};
    }
    return composite(frame, m_segmenter ? m_segmenter->personMask(frame) : std::nullopt);
}

QImage BlurredCameraRenderer::composite(const QImage& frame, const std::optional<QImage>& mask) {
    if (frame.isNull() || !mask || mask->isNull()) {
        return frame;
    }
    QImage sharp = frame.convertToFormat(QImage::Format_RGB32);
    QImage weights = mask->convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat pixels = wrap(sharp, CV_8UC4);
    const cv::Mat background = blurred(pixels);
    cv::Mat person;
    cv::resize(wrap(weights, CV_8UC1), person, pixels.size(), 0, 0, cv::INTER_LINEAR);

    QImage result(sharp.size(), QImage::Format_RGB32);
    for (int y = 0; y < pixels.rows; ++y) {
        const uchar* fore = pixels.ptr<uchar>(y);
        const uchar* back = background.ptr<uchar>(y);
        const uchar* weight = person.ptr<uchar>(y);
        uchar* out = result.scanLine(y);
        for (int x = 0; x < pixels.cols; ++x) {
            const int w = weight[x];
            for (int c = 0; c < 4; ++c) {
                const int i = 4 * x + c;
                out[i] = static_cast<uchar>((fore[i] * w + back[i] * (255 - w) + 127) / 255);
            }
        }
    }
    return result;
}

} // namespace ivra
