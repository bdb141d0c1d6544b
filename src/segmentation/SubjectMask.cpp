#include "segmentation/SubjectMask.h"

#include <opencv2/imgproc.hpp>

#include <QPainter>

namespace ivra::segmentation {

namespace {

cv::Mat wrap(const QImage& gray) {
    return cv::Mat(gray.height(), gray.width(), CV_8UC1, const_cast<uchar*>(gray.constBits()),
                   static_cast<size_t>(gray.bytesPerLine()));
}

// Transparent parts of the input (an image already cut out) are seen by the network as
// this grey, which its normalisation turns into zero.
constexpr QRgb kTransparentSeenAs = qRgb(128, 128, 128);

} // namespace

cv::Mat networkInput(const QImage& image, int sidePx) {
    QImage opaque;
    if (image.hasAlphaChannel()) {
        opaque = QImage(image.size(), QImage::Format_RGB32);
        opaque.fill(kTransparentSeenAs);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    } else {
        opaque = image.convertToFormat(QImage::Format_RGB32);
    }
    if (opaque.isNull()) {
        return {};
    }
    // Scaled in its own 32-bit form, and only the square converted to floats: converting a
    // whole 1080p image first cost twice as much.
    const cv::Mat pixels(opaque.height(), opaque.width(), CV_8UC4,
                         const_cast<uchar*>(opaque.constBits()),
                         static_cast<size_t>(opaque.bytesPerLine()));
    cv::Mat square;
    cv::resize(pixels, square, cv::Size(sidePx, sidePx), 0, 0, cv::INTER_LINEAR);

    const int shape[] = {1, 3, sidePx, sidePx};
    cv::Mat blob(4, shape, CV_32F);
    float* red = blob.ptr<float>(0, 0);
    float* green = blob.ptr<float>(0, 1);
    float* blue = blob.ptr<float>(0, 2);
    const auto normalised = [](int value) { return static_cast<float>(value - 128) / 256.0f; };
    for (int y = 0; y < sidePx; ++y) {
        const auto* row = square.ptr<QRgb>(y);
        for (int x = 0; x < sidePx; ++x) {
            *red++ = normalised(qRed(row[x]));
            *green++ = normalised(qGreen(row[x]));
            *blue++ = normalised(qBlue(row[x]));
        }
    }
    return blob;
}

SubjectCoverage largestSubject(const QImage& mask) {
    const QImage gray = mask.convertToFormat(QImage::Format_Grayscale8);
    if (gray.isNull()) {
        return {};
    }
    const cv::Mat values = wrap(gray);
    cv::Mat inside;
    cv::threshold(values, inside, kSubjectThreshold * 255.0 - 0.5, 255, cv::THRESH_BINARY);

    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(inside, labels, stats, centroids, 8);
    int largest = 0;
    int largestArea = 0;
    for (int label = 1; label < count; ++label) {
        const int area = stats.at<int>(label, cv::CC_STAT_AREA);
        if (area > largestArea) {
            largest = label;
            largestArea = area;
        }
    }
    if (largest == 0) {
        return {};
    }
    const cv::Mat part = labels == largest;
    return SubjectCoverage{
        static_cast<double>(largestArea) / static_cast<double>(values.total()),
        cv::mean(values, part)[0] / 255.0,
    };
}

bool isSubject(const SubjectCoverage& coverage) {
    return coverage.areaFraction >= kMinSubjectArea && coverage.meanAlpha >= kMinSubjectMeanAlpha;
}

QImage applyMask(const QImage& image, const QImage& mask) {
    // Opaque and straight-alpha images are read as they are; others are converted once.
    const QImage source =
        image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_ARGB32);
    const QImage alpha = mask.convertToFormat(QImage::Format_Grayscale8);
    if (source.isNull() || alpha.isNull()) {
        return {};
    }
    cv::Mat scaled;
    cv::resize(wrap(alpha), scaled, cv::Size(source.width(), source.height()), 0, 0,
               cv::INTER_LINEAR);
    QImage result(source.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < result.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        const uchar* maskRow = scaled.ptr<uchar>(y);
        for (int x = 0; x < result.width(); ++x) {
            const int a = (qAlpha(in[x]) * maskRow[x] + 127) / 255;
            out[x] = qPremultiply(qRgba(qRed(in[x]), qGreen(in[x]), qBlue(in[x]), a));
        }
    }
    return result;
}

} // namespace ivra::segmentation
