#include "segmentation/SubjectMask.h"

#include <opencv2/imgproc.hpp>

namespace ivra::segmentation {

namespace {

cv::Mat wrap(const QImage& gray) {
    return cv::Mat(gray.height(), gray.width(), CV_8UC1, const_cast<uchar*>(gray.constBits()),
                   static_cast<size_t>(gray.bytesPerLine()));
}

} // namespace

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
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    QImage alpha = mask.convertToFormat(QImage::Format_Grayscale8);
    if (result.isNull() || alpha.isNull()) {
        return {};
    }
    cv::Mat scaled;
    cv::resize(wrap(alpha), scaled, cv::Size(result.width(), result.height()), 0, 0,
               cv::INTER_LINEAR);
    for (int y = 0; y < result.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(result.scanLine(y));
        const uchar* maskRow = scaled.ptr<uchar>(y);
        for (int x = 0; x < result.width(); ++x) {
            const int a = (qAlpha(row[x]) * maskRow[x] + 127) / 255;
            row[x] = qRgba(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), a);
        }
    }
    return result.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace ivra::segmentation
