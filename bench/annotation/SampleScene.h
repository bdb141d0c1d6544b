#pragma once

#include <cmath>
#include <random>

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>

#include "annotation/Annotation.h"

namespace ivra::bench {

// A screenshot-like base image: a gradient desktop with windows, title bars and lines of
// text, so blurs and strokes have real detail to work on.
inline QImage sampleScreenshot(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor(40, 70, 120));
    sky.setColorAt(1, QColor(190, 110, 80));
    painter.fillRect(image.rect(), sky);
    const double unit = width / 1600.0;
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(8, int(14 * unit)));
    painter.setFont(font);
    std::mt19937 random(7);
    for (int w = 0; w < 6; ++w) {
        const QRectF window(std::uniform_real_distribution<>(0, width * 0.6)(random),
                            std::uniform_real_distribution<>(0, height * 0.55)(random),
                            width * 0.38, height * 0.42);
        painter.fillRect(window, QColor(245, 246, 248));
        painter.fillRect(QRectF(window.topLeft(), QSizeF(window.width(), 28 * unit)),
                         QColor(60, 63, 70));
        painter.setPen(QColor(30, 30, 35));
        for (double y = window.top() + 50 * unit; y < window.bottom() - 20 * unit; y += 22 * unit) {
            painter.drawText(
                QPointF(window.left() + 16 * unit, y),
                QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789"));
        }
    }
    return image;
}

// `count` marks of all nine tools over a width × height image, as made on a canvas with
// `ratio` image pixels per point at the default width: among them `blurs` blur regions of
// blurSize pixels.
inline QList<Annotation> sampleAnnotations(int width, int height, int count, int blurs,
                                           QSizeF blurSize, double ratio) {
    std::mt19937 random(42);
    const auto x = [&] { return std::uniform_real_distribution<>(0, width)(random); };
    const auto y = [&] { return std::uniform_real_distribution<>(0, height)(random); };
    const auto color = [&] {
        return kPalette[std::uniform_int_distribution<size_t>(0, kPalette.size() - 1)(random)];
    };
    QList<Annotation> marks;
    for (int i = 0; i < blurs; ++i) {
        const QPointF corner(
            std::uniform_real_distribution<>(0, width - blurSize.width())(random),
            std::uniform_real_distribution<>(0, height - blurSize.height())(random));
        marks.append(Annotation::makeDrawn(AnnotationTool::Blur, corner,
                                           corner + QPointF(blurSize.width(), blurSize.height()),
                                           AnnotationColor::Red, kDefaultLineWidth, ratio));
    }
    constexpr std::array<AnnotationTool, 8> kOthers{
        AnnotationTool::Pencil, AnnotationTool::Highlight, AnnotationTool::Line,
        AnnotationTool::Arrow,  AnnotationTool::Rect,      AnnotationTool::Ellipse,
        AnnotationTool::Text,   AnnotationTool::Step,
    };
    int steps = 0;
    for (int i = 0; marks.size() < count; ++i) {
        const AnnotationTool tool = kOthers[size_t(i) % kOthers.size()];
        const QPointF start(x(), y());
        if (tool == AnnotationTool::Text) {
            marks.append(*Annotation::makeText(start, QStringLiteral("Check this value"), color(),
                                               kDefaultLineWidth, ratio));
        } else if (tool == AnnotationTool::Step) {
            marks.append(Annotation::makeStep(start, ++steps, color(), kDefaultLineWidth, ratio));
        } else if (isFreehand(tool)) {
            Annotation stroke =
                Annotation::makeDrawn(tool, start, start, color(), kDefaultLineWidth, ratio);
            stroke.points.clear();
            for (int p = 0; p < 60; ++p) {
                stroke.points.append(start +
                                     QPointF(p * 4 * ratio, 40 * ratio * std::sin(p / 6.0)));
            }
            marks.append(stroke);
        } else {
            const QPointF end =
                start + QPointF(std::uniform_real_distribution<>(-300, 300)(random),
                                std::uniform_real_distribution<>(-200, 200)(random)) *
                            ratio;
            marks.append(
                Annotation::makeDrawn(tool, start, end, color(), kDefaultLineWidth, ratio));
        }
    }
    return marks;
}

} // namespace ivra::bench
