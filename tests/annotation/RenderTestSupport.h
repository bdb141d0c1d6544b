#pragma once

#include <cstdlib>

#include <QColor>
#include <QImage>
#include <QList>
#include <QPainter>

#include "annotation/Annotation.h"

namespace ivra::test {

inline Annotation mark(AnnotationTool tool, QList<QPointF> points, double lineWidth,
                       AnnotationColor color = AnnotationColor::Red) {
    Annotation annotation;
    annotation.tool = tool;
    annotation.points = std::move(points);
    annotation.color = color;
    annotation.lineWidth = lineWidth;
    return annotation;
}

inline QImage filled(int width, int height, const QColor& color,
                     QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(color);
    return image;
}

// Left half black, right half white: a sharp edge for blurs to soften.
inline QImage halves(int width, int height) {
    QImage image = filled(width, height, Qt::white);
    QPainter(&image).fillRect(0, 0, width / 2, height, Qt::black);
    return image;
}

// Busy pixels everywhere, so resampling and blurring show every difference.
inline QImage detailed(int width, int height, bool translucent = false) {
    QImage image(width, height, translucent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y,
                           qRgba((x * 31 + y * 17) % 256, (x * y) % 251, (x ^ y) % 256,
                                 translucent ? (x * y) % 256 : 255));
        }
    }
    return image;
}

inline bool sameColor(QRgb pixel, const QColor& color, int tolerance = 0) {
    return std::abs(qRed(pixel) - color.red()) <= tolerance &&
           std::abs(qGreen(pixel) - color.green()) <= tolerance &&
           std::abs(qBlue(pixel) - color.blue()) <= tolerance &&
           std::abs(qAlpha(pixel) - color.alpha()) <= tolerance;
}

} // namespace ivra::test
