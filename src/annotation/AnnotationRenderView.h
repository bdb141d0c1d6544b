#pragma once

#include <optional>

#include <QImage>
#include <QList>
#include <QRectF>

#include "annotation/Annotation.h"
#include "annotation/RenderCache.h"

class QPainter;

namespace ivra {

// A base image with its marks, drawn by the one piece of code that serves both the
// canvas on screen and flattening, so what the user sees is what gets exported.
struct AnnotationRenderView {
    QImage baseImage;
    QList<Annotation> annotations;
    std::optional<Annotation> draft; // the mark being dragged, drawn last
    bool showsCheckerboard = false;  // grey cells under transparent areas

    // Draws into `target` (the caller keeps the image's aspect ratio): the image's W × H
    // pixels are scaled by s = target width ÷ W, so marks keep their image-pixel sizes
    // relative to the image at any zoom. Drawing is clipped to the image.
    void draw(QPainter& painter, const QRectF& target,
              RenderCache& cache = RenderCache::shared()) const;
};

// Draws marks in image-pixel coordinates onto a painter already set up for them.
// `baseImage` is what blur regions show.
void drawAnnotations(QPainter& painter, const QList<Annotation>& annotations,
                     const QImage& baseImage, RenderCache& cache = RenderCache::shared());
void drawAnnotation(QPainter& painter, const Annotation& annotation, const QImage& baseImage,
                    RenderCache& cache = RenderCache::shared());

} // namespace ivra
