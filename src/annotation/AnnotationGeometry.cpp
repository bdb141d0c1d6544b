#include "annotation/AnnotationGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ivra {

namespace {

constexpr double kArrowWingAngle = std::numbers::pi / 7;
constexpr double kArrowHeadPerLineWidth = 3.5;
constexpr double kMinArrowHeadPx = 12;
constexpr double kBadgeRadiusPerLineWidth = 6;
constexpr double kMinBadgeRadiusPx = 18;
constexpr double kBadgeRingPerRadius = 0.12;
constexpr double kMinBadgeRingPx = 2;
constexpr double kBadgeOneDigitFontPerRadius = 1.25;
constexpr double kBadgeLongerFontPerRadius = 0.95;
constexpr double kBlurRadiusPerLineWidth = 4;
constexpr double kMinBlurRadiusPx = 8;
constexpr double kCheckerboardCellPt = 18;
constexpr double kMinCheckerboardCellPx = 8;

} // namespace

QRectF boundingRect(const Annotation& annotation) {
    if (annotation.points.isEmpty()) {
        return QRectF(0, 0, 0, 0);
    }
    const QPointF a = annotation.points.first();
    const QPointF b = annotation.points.last();
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()),
                  std::abs(b.y() - a.y()));
}

ArrowHead arrowHead(QPointF tail, QPointF tip, double lineWidth) {
    const double theta = std::atan2(tip.y() - tail.y(), tip.x() - tail.x());
    const double length = std::max(kArrowHeadPerLineWidth * lineWidth, kMinArrowHeadPx);
    const auto wing = [&](double angle) {
        return QPointF(tip.x() - length * std::cos(angle), tip.y() - length * std::sin(angle));
    };
    return ArrowHead{tip, wing(theta + kArrowWingAngle), wing(theta - kArrowWingAngle), length};
}

QPainterPath arrowPath(QPointF tail, QPointF tip, double lineWidth) {
    const ArrowHead head = arrowHead(tail, tip, lineWidth);
    QPainterPath path(tail);
    path.lineTo(tip);
    path.moveTo(tip);
    path.lineTo(head.wing1);
    path.moveTo(tip);
    path.lineTo(head.wing2);
    return path;
}

StepBadge stepBadge(const Annotation& step) {
    StepBadge badge;
    badge.centre = step.points.isEmpty() ? QPointF() : step.points.first();
    badge.radiusPx = std::max(kBadgeRadiusPerLineWidth * step.lineWidth, kMinBadgeRadiusPx);
    badge.ringWidthPx = std::max(kBadgeRingPerRadius * badge.radiusPx, kMinBadgeRingPx);
    badge.label = QString::number(std::max(step.number, 1));
    badge.fontSizePx = badge.radiusPx * (badge.label.size() == 1 ? kBadgeOneDigitFontPerRadius
                                                                 : kBadgeLongerFontPerRadius);
    const bool lightFill =
        step.color == AnnotationColor::White || step.color == AnnotationColor::Yellow;
    badge.contrast = lightFill ? QColor(0, 0, 0) : QColor(255, 255, 255);
    return badge;
}

double blurRadius(double lineWidth) {
    return std::max(kBlurRadiusPerLineWidth * lineWidth, kMinBlurRadiusPx);
}

double checkerboardCellSize(double scale) {
    return std::max(kCheckerboardCellPt / std::max(scale, 0.01), kMinCheckerboardCellPx);
}

QPainterPath checkerboardPath(const QRectF& rect, double cellSize) {
    QPainterPath path;
    if (!(cellSize > 0)) {
        return path;
    }
    int row = 0;
    for (double y = rect.top(); y < rect.bottom(); y = rect.top() + ++row * cellSize) {
        int column = 0;
        for (double x = rect.left(); x < rect.right(); x = rect.left() + ++column * cellSize) {
            if ((row + column) % 2 == 0) {
                path.addRect(QRectF(x, y, std::min(cellSize, rect.right() - x),
                                    std::min(cellSize, rect.bottom() - y)));
            }
        }
    }
    return path;
}

} // namespace ivra
