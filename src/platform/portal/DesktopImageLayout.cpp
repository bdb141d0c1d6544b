#include "platform/portal/DesktopImageLayout.h"

#include <algorithm>
#include <cmath>

namespace ivra::platform {

namespace {

// How far the image's horizontal and vertical scales may differ: the portal rounds a
// layout with fractional scales to whole pixels, which moves them apart a little.
constexpr double kScaleTolerance = 0.02;

} // namespace

std::optional<DesktopImageLayout> DesktopImageLayout::create(const QList<QRect>& screenFramesPt,
                                                             QSize imageSizePx) {
    QRect bounds;
    for (const QRect& frame : screenFramesPt) {
        bounds = bounds.united(frame);
    }
    if (bounds.isEmpty() || imageSizePx.isEmpty()) {
        return std::nullopt;
    }
    const double scaleX = static_cast<double>(imageSizePx.width()) / bounds.width();
    const double scaleY = static_cast<double>(imageSizePx.height()) / bounds.height();
    if (std::abs(scaleX - scaleY) > kScaleTolerance * std::max(scaleX, scaleY)) {
        return std::nullopt;
    }
    return DesktopImageLayout(bounds, imageSizePx, scaleX, scaleY);
}

DesktopImageLayout::DesktopImageLayout(const QRect& boundsPt, QSize imageSizePx, double scaleX,
                                       double scaleY)
    : m_boundsPt(boundsPt)
    , m_imageSizePx(imageSizePx)
    , m_scaleX(scaleX)
    , m_scaleY(scaleY) {
}

QRect DesktopImageLayout::imageRect(const QRect& framePt) const {
    // Both edges are rounded on their own, so neighbouring screens share their border
    // exactly, with no gap and no overlap.
    const auto edgeX = [this](int x) {
        return static_cast<int>(std::lround((x - m_boundsPt.x()) * m_scaleX));
    };
    const auto edgeY = [this](int y) {
        return static_cast<int>(std::lround((y - m_boundsPt.y()) * m_scaleY));
    };
    const int left = edgeX(framePt.x());
    const int top = edgeY(framePt.y());
    const int right = edgeX(framePt.x() + framePt.width());
    const int bottom = edgeY(framePt.y() + framePt.height());
    return QRect(left, top, right - left, bottom - top).intersected(QRect(QPoint(), m_imageSizePx));
}

QImage DesktopImageLayout::extract(const QImage& desktopImage, const QRect& framePt,
                                   QSize sizePx) const {
    QImage part = desktopImage.copy(imageRect(framePt));
    if (part.size() != sizePx) {
        part = part.scaled(sizePx, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return part.convertToFormat(QImage::Format_ARGB32);
}

} // namespace ivra::platform
