#include "recording/RecordingGeometry.h"

#include <cmath>

namespace ivra {

namespace {

int evenPixels(double pixels) {
    const int truncated = int(std::trunc(pixels));
    return truncated - truncated % 2;
}

} // namespace

QSize recordingPixelSize(QSizeF sizePt, double scale) {
    return {evenPixels(scale * sizePt.width()), evenPixels(scale * sizePt.height())};
}

int64_t recordingBitRate(QSize sizePx, RecordingQuality quality) {
    const double factor = quality == RecordingQuality::High ? 3.0 : 6.5;
    const double megapixels = double(sizePx.width()) * double(sizePx.height()) / 1'000'000.0;
    return int64_t(std::trunc(megapixels * factor * 1'000'000.0));
}

} // namespace ivra
