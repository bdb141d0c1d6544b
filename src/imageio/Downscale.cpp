#include "imageio/Downscale.h"

#include <opencv2/imgproc.hpp>

namespace ivra::imageio {

QImage downscale(const QImage& image, QSize sizePx) {
    const bool reduces = sizePx.width() <= image.width() && sizePx.height() <= image.height();
    const bool fourChannels = image.format() == QImage::Format_RGB32 ||
                              image.format() == QImage::Format_ARGB32 ||
                              image.format() == QImage::Format_ARGB32_Premultiplied;
    if (image.isNull() || sizePx.isEmpty() || !reduces || !fourChannels) {
        return image.scaled(sizePx, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    // Averaging straight (not premultiplied) alpha would darken soft edges; the screens
    // this serves are opaque, and premultiplied images average correctly as they are.
    const QImage source = image.format() == QImage::Format_ARGB32
                              ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                              : image;
    const cv::Mat from(source.height(), source.width(), CV_8UC4,
                       const_cast<uchar*>(source.constBits()),
                       static_cast<size_t>(source.bytesPerLine()));
    QImage result(sizePx, source.format());
    cv::Mat to(result.height(), result.width(), CV_8UC4, result.bits(),
               static_cast<size_t>(result.bytesPerLine()));
    cv::resize(from, to, to.size(), 0, 0, cv::INTER_AREA);
    if (source.format() == QImage::Format_RGB32) {
        // The padding byte of screen grabs may be anything; the result is opaque.
        for (int y = 0; y < result.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(result.scanLine(y));
            for (int x = 0; x < result.width(); ++x) {
                row[x] |= 0xff000000u;
            }
        }
    }
    return result;
}

} // namespace ivra::imageio
