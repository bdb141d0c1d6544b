#include "annotation/AnnotationExporter.h"

#include <QPainter>

#include "annotation/AnnotationRenderView.h"

namespace ivra::AnnotationExporter {

QImage composite(const QImage& baseImage, const QList<Annotation>& annotations,
                 RenderCache& cache) {
    if (annotations.isEmpty() || baseImage.isNull()) {
        return baseImage;
    }
    // Starting from the base's own pixels is what drawing it onto a transparent canvas at
    // scale 1 gives, without the cost of compositing the whole image.
    QImage result = baseImage.convertToFormat(
        baseImage.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (result.isNull() || result.size() != baseImage.size()) {
        return baseImage;
    }
    if (result.constBits() == baseImage.constBits()) {
        result.detach(); // the same format shares pixels; never draw into the caller's image
    }
    result.setDevicePixelRatio(1);
    {
        QPainter painter(&result);
        if (!painter.isActive()) {
            return baseImage;
        }
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                               QPainter::TextAntialiasing);
        drawAnnotations(painter, annotations, baseImage, cache);
    }
    result.setDevicePixelRatio(baseImage.devicePixelRatio());
    return result;
}

} // namespace ivra::AnnotationExporter
