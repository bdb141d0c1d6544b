#include "annotation/AnnotationRenderView.h"

#include <algorithm>

#include <QGuiApplication>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>

#include "annotation/AnnotationGeometry.h"

namespace ivra {

namespace {

constexpr double kHighlightWidthFactor = 4;
constexpr double kHighlightOpacity = 0.35;
constexpr double kMiterLimit = 10;
const QColor kCheckerLight = QColor::fromRgbF(0.82f, 0.82f, 0.82f);
const QColor kCheckerDark = QColor::fromRgbF(0.62f, 0.62f, 0.62f);

QPen basePen(const QColor& color, double width) {
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(kMiterLimit);
    return pen;
}

// Fills the outline of the stroke, which gives the same pixels as QPainter::strokePath and
// is markedly faster for wide pens.
void stroke(QPainter& painter, const QPainterPath& path, const QPen& pen) {
    painter.fillPath(QPainterPathStroker(pen).createStroke(path), pen.brush());
}

// Strokes `path` with round caps. Qt strokes nothing for a path of zero length, yet a
// click with the pencil or a line whose ends meet should leave a dot as wide as the line.
void strokeRound(QPainter& painter, const QPainterPath& path, const QPen& pen) {
    const QRectF extent = path.boundingRect();
    if (extent.width() == 0 && extent.height() == 0) {
        const double radius = pen.widthF() / 2;
        painter.setPen(Qt::NoPen);
        painter.setBrush(pen.brush());
        painter.drawEllipse(extent.topLeft(), radius, radius);
        painter.setBrush(Qt::NoBrush);
        return;
    }
    stroke(painter, path, pen);
}

QPainterPath polyline(const QList<QPointF>& points) {
    QPainterPath path(points.first());
    for (qsizetype i = 1; i < points.size(); ++i) {
        path.lineTo(points[i]);
    }
    return path;
}

// A font whose pixel size is exactly `sizePx` on the painter's device. QFont takes
// fractional sizes only in points, which it converts with the device's resolution.
// Hinting is off so that a label lays out the same at every zoom and in the export.
QFont fontOfPixelSize(const QPainter& painter, double sizePx, QFont::Weight weight) {
    QFont font = QGuiApplication::font();
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    const int dpi = painter.device() ? painter.device()->logicalDpiY() : 72;
    font.setPointSizeF(sizePx * 72.0 / std::max(dpi, 1));
    return font;
}

void drawText(QPainter& painter, const Annotation& label) {
    if (label.points.isEmpty() || label.text.isEmpty() || !(label.fontSize > 0)) {
        return;
    }
    painter.setFont(fontOfPixelSize(painter, label.fontSize, QFont::DemiBold));
    painter.setPen(toQColor(label.color));
    // A zero-sized rectangle that does not clip: the text's top-left corner sits on the
    // point and nothing wraps.
    painter.drawText(QRectF(label.points.first(), QSizeF(0, 0)),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, label.text);
}

void drawStep(QPainter& painter, const Annotation& step) {
    if (step.points.isEmpty()) {
        return;
    }
    const StepBadge badge = stepBadge(step);
    const double r = badge.radiusPx;
    const QRectF disc(badge.centre.x() - r, badge.centre.y() - r, 2 * r, 2 * r);
    painter.setPen(Qt::NoPen);
    painter.setBrush(toQColor(step.color));
    painter.drawEllipse(disc);
    painter.setBrush(Qt::NoBrush);
    QPen ring(badge.contrast, badge.ringWidthPx, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setPen(ring);
    painter.drawEllipse(disc);
    painter.setFont(fontOfPixelSize(painter, badge.fontSizePx, QFont::Bold));
    painter.setPen(badge.contrast);
    painter.drawText(QRectF(badge.centre, QSizeF(0, 0)), Qt::AlignCenter | Qt::TextDontClip,
                     badge.label);
}

void drawBlur(QPainter& painter, const Annotation& blur, const QImage& baseImage,
              RenderCache& cache) {
    const QRectF region = boundingRect(blur);
    if (region.width() <= kMinBlurExtentPx || region.height() <= kMinBlurExtentPx) {
        return;
    }
    const QRectF visible = region & QRectF(baseImage.rect());
    const QRect pixels = visible.toAlignedRect() & baseImage.rect();
    if (pixels.isEmpty()) {
        return;
    }
    const QImage patch = cache.blurredRegion(baseImage, pixels, blurRadius(blur.lineWidth));
    if (patch.isNull()) {
        return;
    }
    // Filling the exact region with the blurred pixels as a texture stands in for clipping
    // a blurred layer: the region covers what was drawn before it, with anti-aliased edges
    // where it does not fall on whole pixels.
    QBrush texture(patch);
    texture.setTransform(QTransform::fromTranslate(pixels.x(), pixels.y()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(texture);
    painter.drawRect(visible);
    painter.setBrush(Qt::NoBrush);
}

void drawBaseImage(QPainter& painter, const QImage& baseImage, RenderCache& cache) {
    const QRectF imageRect(baseImage.rect());
    // Shown smaller than its pixels (the usual case on screen), the image is reduced once
    // with proper filtering and then drawn about one to one, which is both sharper and far
    // cheaper than resampling the full image on every frame.
    const QTransform device = painter.deviceTransform();
    if (device.type() <= QTransform::TxScale) {
        const QRectF onDevice = device.mapRect(imageRect);
        const QSize size(qRound(onDevice.width()), qRound(onDevice.height()));
        if (!size.isEmpty() && size.width() < baseImage.width() &&
            size.height() < baseImage.height()) {
            const QImage reduced = cache.scaledImage(baseImage, size);
            if (!reduced.isNull()) {
                painter.drawImage(imageRect, reduced);
                return;
            }
        }
    }
    painter.drawImage(imageRect, baseImage);
}

} // namespace

void drawAnnotation(QPainter& painter, const Annotation& annotation, const QImage& baseImage,
                    RenderCache& cache) {
    const QColor color = toQColor(annotation.color);
    const QList<QPointF>& points = annotation.points;
    switch (annotation.tool) {
    case AnnotationTool::Pencil:
        if (points.size() >= 2) {
            strokeRound(painter, polyline(points), basePen(color, annotation.lineWidth));
        }
        break;
    case AnnotationTool::Highlight:
        if (points.size() >= 2) {
            // One path stroked once: where the stroke crosses itself it does not darken.
            QColor translucent = color;
            translucent.setAlphaF(kHighlightOpacity);
            strokeRound(painter, polyline(points),
                        basePen(translucent, kHighlightWidthFactor * annotation.lineWidth));
        }
        break;
    case AnnotationTool::Line:
        if (!points.isEmpty()) {
            QPainterPath path(points.first());
            path.lineTo(points.last());
            strokeRound(painter, path, basePen(color, annotation.lineWidth));
        }
        break;
    case AnnotationTool::Arrow:
        if (!points.isEmpty()) {
            stroke(painter, arrowPath(points.first(), points.last(), annotation.lineWidth),
                   basePen(color, annotation.lineWidth));
        }
        break;
    case AnnotationTool::Rect: {
        QPainterPath path;
        path.addRect(boundingRect(annotation));
        stroke(painter, path, basePen(color, annotation.lineWidth));
        break;
    }
    case AnnotationTool::Ellipse: {
        QPainterPath path;
        path.addEllipse(boundingRect(annotation));
        stroke(painter, path, basePen(color, annotation.lineWidth));
        break;
    }
    case AnnotationTool::Text:
        drawText(painter, annotation);
        break;
    case AnnotationTool::Step:
        drawStep(painter, annotation);
        break;
    case AnnotationTool::Blur:
        drawBlur(painter, annotation, baseImage, cache);
        break;
    }
}

void drawAnnotations(QPainter& painter, const QList<Annotation>& annotations,
                     const QImage& baseImage, RenderCache& cache) {
    for (const Annotation& annotation : annotations) {
        drawAnnotation(painter, annotation, baseImage, cache);
    }
}

namespace {

// Above this many device pixels a frame is drawn directly rather than through a layer.
constexpr qint64 kMaxLayerPixels = qint64(8192) * 8192;

// The checkerboard and the image, on a painter set up in image pixels.
void drawBackground(QPainter& painter, const AnnotationRenderView& view, double scale,
                    RenderCache& cache) {
    const QRectF imageRect(view.baseImage.rect());
    if (view.showsCheckerboard) {
        painter.fillRect(imageRect, kCheckerLight);
        painter.fillPath(checkerboardPath(imageRect, checkerboardCellSize(scale)), kCheckerDark);
    }
    if (!view.baseImage.isNull()) {
        drawBaseImage(painter, view.baseImage, cache);
    }
}

void drawMarks(QPainter& painter, const AnnotationRenderView& view, qsizetype from,
               RenderCache& cache) {
    for (qsizetype i = from; i < view.annotations.size(); ++i) {
        drawAnnotation(painter, view.annotations[i], view.baseImage, cache);
    }
}

void setUpForImage(QPainter& painter, const QTransform& imageTransform, const QRectF& imageRect) {
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    painter.setWorldTransform(imageTransform, true);
    painter.setClipRect(imageRect, Qt::IntersectClip);
}

} // namespace

void AnnotationRenderView::draw(QPainter& painter, const QRectF& target, RenderCache& cache) const {
    const double scale = target.width() / std::max(baseImage.width(), 1);
    const QRectF imageRect(baseImage.rect());
    const QTransform imageToView =
        QTransform::fromScale(scale, scale) * QTransform::fromTranslate(target.x(), target.y());
    const QTransform imageToDevice = imageToView * painter.deviceTransform();
    const QRect deviceRect = imageToDevice.mapRect(imageRect).toAlignedRect();

    // The finished part of the frame (everything below the mark being dragged) is drawn as
    // one layer of device pixels and then copied one to one onto the painter, the way a
    // canvas layer is composited. While a mark is dragged nothing else changes, so the
    // cache hands back the same layer and only the draft is drawn. Whether the layer is
    // drawn now or reused, the pixels are the same. Painters that rotate or are not raster
    // painters get everything drawn directly.
    const bool layered = !baseImage.isNull() && !deviceRect.isEmpty() &&
                         qint64(deviceRect.width()) * deviceRect.height() <= kMaxLayerPixels &&
                         imageToDevice.type() <= QTransform::TxScale && painter.paintEngine() &&
                         painter.paintEngine()->type() == QPaintEngine::Raster &&
                         painter.compositionMode() == QPainter::CompositionMode_SourceOver &&
                         painter.opacity() == 1.0;
    if (layered) {
        const RenderCache::FrameKey key{baseImage.cacheKey(), annotations, showsCheckerboard,
                                        imageToDevice,        deviceRect,  QGuiApplication::font()};
        const QImage finished = cache.frame(key, [&](const QImage& earlier, qsizetype drawn) {
            // Drawing on from a kept frame; the copy leaves that frame as it is.
            QImage pixels = earlier.copy();
            if (pixels.isNull()) {
                pixels = QImage(deviceRect.size(), QImage::Format_ARGB32_Premultiplied);
                if (pixels.isNull()) {
                    return pixels;
                }
                pixels.fill(Qt::transparent);
            }
            QPainter offscreen(&pixels);
            setUpForImage(offscreen,
                          imageToDevice *
                              QTransform::fromTranslate(-deviceRect.x(), -deviceRect.y()),
                          imageRect);
            if (earlier.isNull()) {
                drawBackground(offscreen, *this, scale, cache);
            }
            drawMarks(offscreen, *this, drawn, cache);
            return pixels;
        });
        if (!finished.isNull()) {
            painter.save();
            painter.resetTransform();
            const QTransform logicalToDevice = painter.deviceTransform();
            const QRectF logicalRect = logicalToDevice.inverted().mapRect(QRectF(deviceRect));
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter.drawImage(logicalRect, finished);
            painter.restore();
            if (draft) {
                painter.save();
                setUpForImage(painter, imageToView, imageRect);
                drawAnnotation(painter, *draft, baseImage, cache);
                painter.restore();
            }
            return;
        }
    }

    painter.save();
    setUpForImage(painter, imageToView, imageRect);
    drawBackground(painter, *this, scale, cache);
    drawMarks(painter, *this, 0, cache);
    if (draft) {
        drawAnnotation(painter, *draft, baseImage, cache);
    }
    painter.restore();
}

} // namespace ivra
