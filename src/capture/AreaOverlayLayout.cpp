#include "capture/AreaOverlayLayout.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>

namespace ivra::AreaOverlayLayout {

QRectF magnifierSourceRect(QPointF pointerView, double pixelScale) {
    const double side = kMagnifierSourcePt * pixelScale;
    return {pointerView.x() * pixelScale - side / 2, pointerView.y() * pixelScale - side / 2, side,
            side};
}

QPointF magnifierCentre(QPointF pointerView, QSizeF view) {
    return {std::min(pointerView.x() + kMagnifierOffsetPt, view.width() - kMagnifierOffsetPt),
            std::max(pointerView.y() - kMagnifierOffsetPt, kMagnifierOffsetPt)};
}

QString sizeLabelText(QSizeF selectionSize) {
    return QStringLiteral("%1 \u00D7 %2")
        .arg(qint64(std::trunc(selectionSize.width())))
        .arg(qint64(std::trunc(selectionSize.height())));
}

QPointF sizeLabelCentre(const QRectF& selection) {
    return {selection.center().x(), std::max(selection.top() - 14, 12.0)};
}

QPointF toolbarCentre(const QRectF& selection, QSizeF view) {
    const double x = std::min(std::max(view.width() - kToolbarHalfSpanPt, kToolbarHalfSpanPt),
                              std::max(selection.center().x(), kToolbarHalfSpanPt));
    const double below = selection.bottom() + kToolbarOffsetPt;
    const double y = below <= view.height() - kToolbarBottomClearancePt
                         ? below
                         : std::max(selection.top() - kToolbarOffsetPt, kToolbarMinYPt);
    return {x, y};
}

QPointF hintCentre(const QRectF& selection, QSizeF view) {
    return toolbarCentre(selection, view) + QPointF(0, kHintOffsetPt);
}

QString hintText() {
    return QCoreApplication::translate(
        "AreaOverlay", "Drag border to move · dots to resize · P L A R C T B tools · O OCR · "
                       "Ctrl+C copy · Ctrl+S save · Return pin · Esc");
}

QPointF toastCentre(const QRectF& selection) {
    return {selection.center().x(), std::max(selection.top() - 44, 24.0)};
}

} // namespace ivra::AreaOverlayLayout
