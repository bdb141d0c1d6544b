#include "annotation/Annotation.h"

#include <algorithm>

namespace ivra {

Annotation Annotation::makeDrawn(AnnotationTool tool, QPointF start, QPointF current,
                                 AnnotationColor color, double widthPt, double ratio) {
    return Annotation{
        QUuid::createUuid(), tool, {start, current}, QString(), color, widthPt * ratio, 0, 0};
}

std::optional<Annotation> Annotation::makeText(QPointF topLeft, const QString& typed,
                                               AnnotationColor color, double widthPt,
                                               double ratio) {
    const QString label = typed.trimmed();
    if (label.isEmpty()) {
        return std::nullopt;
    }
    return Annotation{QUuid::createUuid(),
                      AnnotationTool::Text,
                      {topLeft},
                      label,
                      color,
                      0,
                      widthPt * kFontSizePerLineWidth * ratio,
                      0};
}

Annotation Annotation::makeStep(QPointF centre, int number, AnnotationColor color, double widthPt,
                                double ratio) {
    return Annotation{QUuid::createUuid(),
                      AnnotationTool::Step,
                      {centre},
                      QString(),
                      color,
                      widthPt * ratio,
                      0,
                      number};
}

double canvasRatio(double imageWidthPx, double canvasWidthPt) {
    return imageWidthPx / std::max(canvasWidthPt, 1.0);
}

} // namespace ivra
