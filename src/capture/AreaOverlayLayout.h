#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace ivra::AreaOverlayLayout {

// Where the parts of an area-capture overlay go, in view space (points, origin top-left,
// y down) on a display of `view` size; `selection` is the selection rectangle in view space.

inline constexpr double kSelectingDim = 0.35; // black over the frozen frame while selecting
inline constexpr double kAnnotatingDim = 0.5; // and while annotating
inline constexpr double kBorderWidth = 1.5;
inline constexpr double kCrosshairOpacity = 0.6;

inline constexpr double kMagnifierSourcePt = 20; // side of the magnified square
inline constexpr double kMagnifierSizePt = 100;  // side of the magnifier on screen
inline constexpr double kMagnifierOffsetPt = 60;
inline constexpr double kMagnifierCornerRadius = 8;
inline constexpr double kMagnifierBorderWidth = 2;

inline constexpr double kSizeLabelFontPt = 12;
inline constexpr double kSizeLabelMarginPt = 4;

inline constexpr double kMoveBandWidthPt = 14;
inline constexpr double kDotDiameterPt = 11;
inline constexpr double kDotHitGrowthPt = 6; // the dot's hit circle is 23 points across

inline constexpr double kToolbarOffsetPt = 36;
inline constexpr double kToolbarBottomClearancePt = 44;
inline constexpr double kToolbarMinYPt = 32;
inline constexpr double kToolbarHalfSpanPt = 250;
inline constexpr double kHintOffsetPt = 28;

inline constexpr QColor kAccent{74, 158, 255};

// The frozen-frame pixels the magnifier shows around a pointer at `pointerView`: a square of
// 20 points' worth of pixels centred on it (the caller clips it to the frame).
QRectF magnifierSourceRect(QPointF pointerView, double pixelScale);
// Up and to the right of the pointer, pushed back inside near the right and top edges.
QPointF magnifierCentre(QPointF pointerView, QSizeF view);

// "1280 × 720": whole points, cut, not rounded.
QString sizeLabelText(QSizeF selectionSize);
QPointF sizeLabelCentre(const QRectF& selection);

// Below the selection when there is room above the bottom edge, else above it (or over it,
// near the top); horizontally under the selection, kept 250 points from either edge.
QPointF toolbarCentre(const QRectF& selection, QSizeF view);
QPointF hintCentre(const QRectF& selection, QSizeF view);
QString hintText();
QPointF toastCentre(const QRectF& selection);

} // namespace ivra::AreaOverlayLayout
