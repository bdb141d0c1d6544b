#pragma once

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>

#include "annotation/Annotation.h"

namespace ivra {

// The exact shapes the renderer draws, in image pixels. Kept apart from the drawing so
// that the canvas can reuse them and their numbers can be checked directly.

// The rectangle spanned by the first and the last point (rect, ellipse, blur); the zero
// rectangle at the origin when there are no points.
QRectF boundingRect(const Annotation& annotation);

// An arrow's head: two open strokes from the tip, each π/7 off the shaft, of length
// max(3.5 · lineWidth, 12) so thin arrows still show a head.
struct ArrowHead {
    QPointF tip;
    QPointF wing1; // at angle θ + π/7 back from the tip
    QPointF wing2; // at angle θ − π/7
    double lengthPx = 0;
};
ArrowHead arrowHead(QPointF tail, QPointF tip, double lineWidth);
// Shaft and both wings as one path, stroked once.
QPainterPath arrowPath(QPointF tail, QPointF tip, double lineWidth);

// A numbered step: a filled disc with a ring and the number in a contrasting colour.
struct StepBadge {
    QPointF centre;
    double radiusPx = 0;    // max(6 · lineWidth, 18)
    double ringWidthPx = 0; // max(0.12 · radius, 2)
    QString label;          // max(number, 1) in decimal
    double fontSizePx = 0;  // 1.25 · radius for one digit, 0.95 · radius for more
    QColor contrast;        // ring and label: black on white and yellow, white on the rest
};
StepBadge stepBadge(const Annotation& step);

// Blur strength (the Gaussian's standard deviation) in image pixels: max(4 · lineWidth, 8).
double blurRadius(double lineWidth);
// A blur region narrower or shorter than this draws nothing (a stray click, not a region).
inline constexpr double kMinBlurExtentPx = 2;

// Checkerboard under transparent images: 18 on-screen points a cell at view scale `scale`,
// but never under 8 image pixels.
double checkerboardCellSize(double scale);
// The dark cells of `rect` (those with even row + column, so the top-left cell is dark),
// edge cells cut to the rectangle.
QPainterPath checkerboardPath(const QRectF& rect, double cellSize);

} // namespace ivra
