#pragma once

#include <array>
#include <optional>

#include <QList>
#include <QMetaType>
#include <QPointF>
#include <QString>
#include <QUuid>

#include "annotation/AnnotationColor.h"
#include "annotation/AnnotationTool.h"

namespace ivra {

// Line width choices of the toolbar, in on-screen points.
inline constexpr std::array<double, 4> kLineWidthChoices{2, 3, 5, 8};
inline constexpr double kDefaultLineWidth = 3;
// A text label's font size is this many times the chosen line width.
inline constexpr double kFontSizePerLineWidth = 5;

// One mark over a base image. All geometry, widths and font sizes are in the base image's
// pixels (origin top-left, y down), fixed when the mark is made, so zooming the canvas
// later changes nothing and a flattened image shows each mark as it was on screen.
//
// points per tool: pencil and highlight the dragged path (2 or more); line, arrow, rect,
// ellipse and blur two points (start and end, or two opposite corners; readers take the
// first and the last); text its label's top-left corner; step its badge centre.
struct Annotation {
    QUuid id;
    AnnotationTool tool = AnnotationTool::Pencil;
    QList<QPointF> points;
    QString text; // text labels only
    AnnotationColor color = kDefaultAnnotationColor;
    double lineWidth = 0; // 0 for text labels; sets the badge size and the blur strength
    double fontSize = 0;  // text labels only
    int number = 0;       // step badges only: 1, 2, 3, …

    bool operator==(const Annotation&) const = default;

    // A mark dragged with pencil, highlight, line, arrow, rect, ellipse or blur, starting as
    // [start, current]. `widthPt` is the chosen width on screen; `ratio` converts canvas
    // points to image pixels (see canvasRatio).
    static Annotation makeDrawn(AnnotationTool tool, QPointF start, QPointF current,
                                AnnotationColor color, double widthPt, double ratio);
    // A text label from what was typed, trimmed of white space and line breaks at both
    // ends; nothing when that leaves no text, so a label is never empty.
    static std::optional<Annotation> makeText(QPointF topLeft, const QString& typed,
                                              AnnotationColor color, double widthPt, double ratio);
    static Annotation makeStep(QPointF centre, int number, AnnotationColor color, double widthPt,
                               double ratio);
};

// Image pixels per canvas point: one ratio for both axes, as the canvas always has the
// image's aspect ratio. A canvas narrower than one point counts as one point wide.
double canvasRatio(double imageWidthPx, double canvasWidthPt);

} // namespace ivra

Q_DECLARE_METATYPE(ivra::Annotation)
