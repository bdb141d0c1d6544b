#include <cmath>
#include <numbers>

#include <QGuiApplication>
#include <QPainter>
#include <QTest>

#include "annotation/AnnotationExporter.h"
#include "annotation/AnnotationGeometry.h"
#include "annotation/AnnotationRenderView.h"
#include "annotation/RenderCache.h"

using namespace ivra;

namespace {

const QColor kRed = toQColor(AnnotationColor::Red);

QImage filled(int width, int height, const QColor& color,
              QImage::Format format = QImage::Format_ARGB32_Premultiplied) {
    QImage image(width, height, format);
    image.fill(color);
    return image;
}

// Left half black, right half white: a sharp edge for blurs to soften.
QImage halves(int width, int height) {
    QImage image = filled(width, height, Qt::white, QImage::Format_RGB32);
    QPainter(&image).fillRect(0, 0, width / 2, height, Qt::black);
    return image;
}

Annotation mark(AnnotationTool tool, QList<QPointF> points, double lineWidth,
                AnnotationColor color = AnnotationColor::Red) {
    Annotation annotation;
    annotation.tool = tool;
    annotation.points = std::move(points);
    annotation.color = color;
    annotation.lineWidth = lineWidth;
    return annotation;
}

// Draws marks at one image pixel per pixel, as flattening does.
QImage drawOver(const QImage& base, const QList<Annotation>& annotations,
                RenderCache& cache = RenderCache::shared()) {
    QImage canvas = filled(base.width(), base.height(), Qt::transparent);
    QPainter painter(&canvas);
    AnnotationRenderView{base, annotations, std::nullopt, false}.draw(painter, canvas.rect(),
                                                                      cache);
    painter.end();
    return canvas;
}

bool sameColor(QRgb pixel, const QColor& color, int tolerance = 0) {
    return std::abs(qRed(pixel) - color.red()) <= tolerance &&
           std::abs(qGreen(pixel) - color.green()) <= tolerance &&
           std::abs(qBlue(pixel) - color.blue()) <= tolerance &&
           std::abs(qAlpha(pixel) - color.alpha()) <= tolerance;
}

// Bounding box of pixels that differ from the background colour.
QRect inkBounds(const QImage& image, const QColor& background) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!sameColor(image.pixel(x, y), background, 8)) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

} // namespace

class AnnotationRenderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void boundingRectSpansFirstAndLastPoint();
    void arrowWingsOfTheReferenceArrow();
    void arrowHeadIsTwoOpenStrokes();
    void badgeGeometryAndContrast_data();
    void badgeGeometryAndContrast();
    void badgeIsDrawnWithRingAndLabel();
    void zeroWidthRectangleStrokesOneLine();
    void highlighterDoesNotDarkenWhereItCrossesItself();
    void strokesAreStraightPolylinesWithRoundEnds();
    void textIsSetAtItsFontSizeFromItsTopLeftCorner();
    void tinyBlurDrawsNothingAndSmallBlurDraws();
    void blurSamplesAroundTheRegionAndStaysInside();
    void blurResultDoesNotDependOnTheRegionAsked();
    void largeBlurRegionsArePutTogetherExactly();
    void blurAtTheImageEdgeStaysOpaque();
    void blurCoversEarlierMarksButNotLaterOnes();
    void checkerboardCellsFollowTheViewScale();
    void checkerboardIsDrawnUnderATransparentImage();
    void viewScalesImagePixelsOntoTheTarget();
    void cachedAndUncachedFramesAreIdentical();
    void keptFramesMatchDrawingAfresh_data();
    void keptFramesMatchDrawingAfresh();
    void keptFramesFollowEveryChange();
    void screenAtScaleOneShowsTheFlattenedImage();
};

void AnnotationRenderTest::boundingRectSpansFirstAndLastPoint() {
    QCOMPARE(boundingRect(mark(AnnotationTool::Rect, {{30, 40}, {10, 5}}, 3)),
             QRectF(10, 5, 20, 35));
    // Freehand paths: the middle points do not count.
    QCOMPARE(boundingRect(mark(AnnotationTool::Blur, {{0, 0}, {100, 100}, {4, 6}}, 3)),
             QRectF(0, 0, 4, 6));
    QCOMPARE(boundingRect(mark(AnnotationTool::Ellipse, {}, 3)), QRectF(0, 0, 0, 0));
}

void AnnotationRenderTest::arrowWingsOfTheReferenceArrow() {
    const ArrowHead thin = arrowHead({0, 0}, {100, 0}, 3);
    QCOMPARE(thin.lengthPx, 12.0); // 3.5 × 3 = 10.5 is under the minimum
    const double dx = 12 * std::cos(std::numbers::pi / 7);
    const double dy = 12 * std::sin(std::numbers::pi / 7);
    QVERIFY(std::abs(thin.wing1.x() - (100 - dx)) < 1e-9);
    QVERIFY(std::abs(thin.wing1.y() - -dy) < 1e-9);
    QVERIFY(std::abs(thin.wing2.x() - (100 - dx)) < 1e-9);
    QVERIFY(std::abs(thin.wing2.y() - dy) < 1e-9);
    QVERIFY(std::abs(thin.wing1.x() - 89.19) < 0.005);
    QVERIFY(std::abs(thin.wing2.y() - 5.21) < 0.005);

    QCOMPARE(arrowHead({0, 0}, {100, 0}, 8).lengthPx, 28.0);

    // Pointing straight down, the wings lie above the tip, either side of the shaft.
    const ArrowHead down = arrowHead({50, 0}, {50, 100}, 4);
    QCOMPARE(down.lengthPx, 14.0);
    QVERIFY(down.wing1.y() < 100 && down.wing2.y() < 100);
    QVERIFY((down.wing1.x() - 50) * (down.wing2.x() - 50) < 0);
}

void AnnotationRenderTest::arrowHeadIsTwoOpenStrokes() {
    const QImage base = filled(200, 100, Qt::white, QImage::Format_RGB32);
    const Annotation arrow = mark(AnnotationTool::Arrow, {{20, 50}, {180, 50}}, 8);
    const QImage out = drawOver(base, {arrow});
    const ArrowHead head = arrowHead({20, 50}, {180, 50}, 8);
    // Both wing ends are inked...
    QVERIFY(sameColor(out.pixel(head.wing1.toPoint()), kRed, 60));
    QVERIFY(sameColor(out.pixel(head.wing2.toPoint()), kRed, 60));
    // ...but between a wing's end and the shaft, where a filled triangle would be, the
    // head is hollow: (155.5, 43.5) is over 4 pixels from both strokes' centre lines.
    QCOMPARE(QPoint(int(head.wing1.x() + 0.7), int(head.wing1.y() + 5.65)), QPoint(155, 43));
    QVERIFY(sameColor(out.pixel(155, 43), Qt::white));
    QVERIFY(sameColor(out.pixel(155, 56), Qt::white));
    QVERIFY(sameColor(out.pixel(100, 50), kRed, 10));
}

void AnnotationRenderTest::badgeGeometryAndContrast_data() {
    QTest::addColumn<AnnotationColor>("color");
    QTest::addColumn<QColor>("contrast");
    QTest::newRow("red") << AnnotationColor::Red << QColor(Qt::white);
    QTest::newRow("orange") << AnnotationColor::Orange << QColor(Qt::white);
    QTest::newRow("yellow") << AnnotationColor::Yellow << QColor(Qt::black);
    QTest::newRow("green") << AnnotationColor::Green << QColor(Qt::white);
    QTest::newRow("blue") << AnnotationColor::Blue << QColor(Qt::white);
    QTest::newRow("white") << AnnotationColor::White << QColor(Qt::black);
    QTest::newRow("black") << AnnotationColor::Black << QColor(Qt::white);
}

void AnnotationRenderTest::badgeGeometryAndContrast() {
    QFETCH(AnnotationColor, color);
    QFETCH(QColor, contrast);
    Annotation step = mark(AnnotationTool::Step, {{40, 40}}, 3, color);
    step.number = 0;
    StepBadge badge = stepBadge(step);
    QCOMPARE(badge.contrast, contrast);
    QCOMPARE(badge.label, QString("1")); // never a badge numbered 0
    QCOMPARE(badge.radiusPx, 18.0);
    QVERIFY(std::abs(badge.ringWidthPx - 2.16) < 1e-9);
    QCOMPARE(badge.fontSizePx, 22.5);

    step.number = 10;
    step.lineWidth = 5;
    badge = stepBadge(step);
    QCOMPARE(badge.label, QString("10"));
    QCOMPARE(badge.radiusPx, 30.0);
    QCOMPARE(badge.fontSizePx, 30 * 0.95);

    step.lineWidth = 1; // thin badges keep their minimum size and ring
    step.number = 7;
    badge = stepBadge(step);
    QCOMPARE(badge.radiusPx, 18.0);
    QCOMPARE(badge.fontSizePx, 18 * 1.25);
    step.lineWidth = 0;
    QCOMPARE(stepBadge(step).ringWidthPx, 2.16);
}

void AnnotationRenderTest::badgeIsDrawnWithRingAndLabel() {
    const QColor grey(128, 128, 128);
    const QImage base = filled(120, 120, grey, QImage::Format_RGB32);
    Annotation step = mark(AnnotationTool::Step, {{60, 60}}, 3, AnnotationColor::White);
    step.number = 8;
    const QImage out = drawOver(base, {step});
    // Disc of radius 18: the ring sits on its rim (inside edge 16.92 from the centre).
    QVERIFY(sameColor(out.pixel(60 + 17, 60), Qt::black, 40));
    QVERIFY(sameColor(out.pixel(60 + 14, 60 - 6), Qt::white, 10));
    QVERIFY(sameColor(out.pixel(60 + 25, 60), grey));
    // The black label is inside the disc, roughly centred on it.
    QImage disc = out.copy(60 - 12, 60 - 15, 24, 30);
    const QRect label = inkBounds(disc, Qt::white);
    QVERIFY(!label.isEmpty());
    QVERIFY(std::abs(label.center().x() - 12) <= 2);
    QVERIFY(std::abs(label.center().y() - 15) <= 3);
    QVERIFY(label.height() >= 12); // a 22.5-pixel bold digit
}

void AnnotationRenderTest::zeroWidthRectangleStrokesOneLine() {
    const QImage base = filled(100, 100, Qt::white, QImage::Format_RGB32);
    const QImage out = drawOver(base, {mark(AnnotationTool::Rect, {{50.5, 20}, {50.5, 80}}, 4)});
    QVERIFY(sameColor(out.pixel(50, 50), kRed));
    QVERIFY(sameColor(out.pixel(45, 50), Qt::white));
    QVERIFY(sameColor(out.pixel(56, 50), Qt::white));
    // Round caps close the ends just past the corners.
    QVERIFY(sameColor(out.pixel(50, 19), kRed, 20));
    QVERIFY(sameColor(out.pixel(50, 84), Qt::white));
}

void AnnotationRenderTest::highlighterDoesNotDarkenWhereItCrossesItself() {
    const QImage base = filled(120, 120, Qt::white, QImage::Format_RGB32);
    // A stroke that crosses itself at (60, 60) and retraces the segment through (60, 30).
    const Annotation stroke =
        mark(AnnotationTool::Highlight, {{10, 60}, {110, 60}, {60, 10}, {60, 110}, {60, 30}}, 3);
    const QImage out = drawOver(base, {stroke});
    const QRgb once = out.pixel(30, 60);
    QVERIFY(!sameColor(once, Qt::white, 10));
    QCOMPARE(out.pixel(60, 60), once);
    QCOMPARE(out.pixel(60, 40), once);
    // Translucent: 35% red over white.
    QVERIFY(std::abs(qGreen(once) - qRound(255 - 0.35 * (255 - kRed.green()))) <= 2);
}

void AnnotationRenderTest::strokesAreStraightPolylinesWithRoundEnds() {
    const QImage base = filled(100, 100, Qt::white, QImage::Format_RGB32);
    // A right angle: smoothing would cut the corner; a straight polyline with a round join
    // covers it.
    const QImage out = drawOver(
        base, {mark(AnnotationTool::Pencil, {{10.5, 10.5}, {80.5, 10.5}, {80.5, 80.5}}, 6)});
    QVERIFY(sameColor(out.pixel(80, 10), kRed));
    QVERIFY(sameColor(out.pixel(82, 9), kRed, 10));
    QVERIFY(sameColor(out.pixel(60, 30), Qt::white));
    // A click with the pencil is a dot as wide as the line.
    const QImage dot =
        drawOver(base, {mark(AnnotationTool::Pencil, {{50.5, 50.5}, {50.5, 50.5}}, 6)});
    QVERIFY(sameColor(dot.pixel(50, 50), kRed));
    QVERIFY(sameColor(dot.pixel(50, 60), Qt::white));
    // A single-point line is a dot too; a one-point pencil stroke is nothing.
    QVERIFY(sameColor(drawOver(base, {mark(AnnotationTool::Line, {{50.5, 50.5}}, 6)}).pixel(50, 50),
                      kRed));
    QCOMPARE(drawOver(base, {mark(AnnotationTool::Pencil, {{50.5, 50.5}}, 6)}), drawOver(base, {}));
}

void AnnotationRenderTest::textIsSetAtItsFontSizeFromItsTopLeftCorner() {
    const QImage base = filled(300, 120, Qt::white, QImage::Format_RGB32);
    const auto inkOf = [&](double fontSize) {
        Annotation label = mark(AnnotationTool::Text, {{20, 10}}, 0, AnnotationColor::Black);
        label.text = "HH";
        label.fontSize = fontSize;
        return inkBounds(drawOver(base, {label}), Qt::white);
    };
    const QRect small = inkOf(22.5);
    const QRect large = inkOf(45);
    QVERIFY(!small.isEmpty());
    // Capital letters start a little below the top of the line and right of the corner.
    QVERIFY(small.left() >= 20 && small.left() <= 24);
    QVERIFY(small.top() >= 10 && small.top() <= 10 + 22);
    // Caps are about 0.7 of the font size, and twice the size gives twice the height.
    QVERIFY2(small.height() >= 13 && small.height() <= 19,
             qPrintable(QString::number(small.height())));
    QVERIFY(std::abs(large.height() - 2 * small.height()) <= 2);

    Annotation empty = mark(AnnotationTool::Text, {{20, 10}}, 0);
    empty.fontSize = 30;
    QCOMPARE(drawOver(base, {empty}), drawOver(base, {}));
}

void AnnotationRenderTest::tinyBlurDrawsNothingAndSmallBlurDraws() {
    const QImage base = halves(40, 40);
    const QImage plain = drawOver(base, {});
    QCOMPARE(drawOver(base, {mark(AnnotationTool::Blur, {{15, 10}, {25, 12}}, 3)}), plain);
    QCOMPARE(drawOver(base, {mark(AnnotationTool::Blur, {{15, 10}, {17, 30}}, 3)}), plain);
    const QImage patch = drawOver(base, {mark(AnnotationTool::Blur, {{19, 19}, {22, 22}}, 3)});
    QVERIFY(patch != plain);
    // Only the 3 × 3 pixels of the region change.
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 19 && x < 22 && y >= 19 && y < 22;
            if (!inside) {
                QCOMPARE(patch.pixel(x, y), plain.pixel(x, y));
            }
        }
    }
    QVERIFY(patch.pixel(19, 20) != plain.pixel(19, 20));
}

void AnnotationRenderTest::blurSamplesAroundTheRegionAndStaysInside() {
    // The region lies wholly in the white half, 3 pixels from the black edge: the blur
    // (radius 8) must still pull in dark pixels from outside it, about a third of them.
    const QImage base = halves(200, 100);
    const Annotation blur = mark(AnnotationTool::Blur, {{103, 20}, {160, 80}}, 2);
    const QImage out = drawOver(base, {blur});
    const QImage plain = drawOver(base, {});
    QVERIFY(qRed(out.pixel(103, 50)) > 150);
    QVERIFY(qRed(out.pixel(103, 50)) < 190);
    QVERIFY(qRed(out.pixel(104, 50)) > qRed(out.pixel(103, 50)));
    // Far from the edge the region stays white, and fully opaque everywhere.
    QVERIFY(sameColor(out.pixel(158, 50), Qt::white, 1));
    QCOMPARE(qAlpha(out.pixel(106, 20)), 255);
    // Outside the region nothing changes, right next to it either.
    QCOMPARE(out.pixel(102, 50), plain.pixel(102, 50));
    QCOMPARE(out.pixel(130, 19), plain.pixel(130, 19));
    QCOMPARE(out.pixel(160, 50), plain.pixel(160, 50));
}

void AnnotationRenderTest::blurResultDoesNotDependOnTheRegionAsked() {
    // Each region is that part of the whole image blurred: a small region equals the same
    // pixels of a larger one around it, also at the image's edges.
    QImage base(90, 70, QImage::Format_ARGB32);
    for (int y = 0; y < base.height(); ++y) {
        for (int x = 0; x < base.width(); ++x) {
            base.setPixel(x, y, qRgba((x * 37) % 256, (y * 53) % 256, (x * y) % 256, 255));
        }
    }
    const QImage whole = blurImageRegion(base, base.rect(), 5);
    QCOMPARE(whole.size(), base.size());
    for (const QRect part :
         {QRect(30, 20, 12, 9), QRect(0, 0, 10, 10), QRect(80, 60, 10, 10), QRect(85, 0, 20, 20)}) {
        const QRect clipped = part & base.rect();
        QCOMPARE(blurImageRegion(base, part, 5), whole.copy(clipped));
    }
}

void AnnotationRenderTest::largeBlurRegionsArePutTogetherExactly() {
    QImage base(700, 560, QImage::Format_RGB32);
    for (int y = 0; y < base.height(); ++y) {
        for (int x = 0; x < base.width(); ++x) {
            base.setPixel(x, y, qRgb((x * 31 + y * 17) % 256, (x * y) % 251, (x ^ y) % 256));
        }
    }
    RenderCache cache;
    // A region being dragged wider over tile borders, then one past the image's edge.
    for (const QRect region : {QRect(37, 23, 300, 250), QRect(37, 23, 420, 300),
                               QRect(37, 23, 640, 520), QRect(500, 300, 400, 400)}) {
        QCOMPARE(cache.blurredRegion(base, region, 6), blurImageRegion(base, region, 6));
    }
}

void AnnotationRenderTest::blurAtTheImageEdgeStaysOpaque() {
    const QImage base = halves(80, 60);
    const QImage out = drawOver(base, {mark(AnnotationTool::Blur, {{0, 0}, {80, 60}}, 6)});
    for (const QPoint corner : {QPoint(0, 0), QPoint(79, 0), QPoint(0, 59), QPoint(79, 59)}) {
        QCOMPARE(qAlpha(out.pixel(corner)), 255);
    }
    // The black edge column stays black-ish rather than fading towards transparent or white.
    QVERIFY(qRed(out.pixel(0, 30)) < 40);
    QVERIFY(qRed(out.pixel(79, 30)) > 215);
}

void AnnotationRenderTest::blurCoversEarlierMarksButNotLaterOnes() {
    const QImage base = filled(100, 100, Qt::white, QImage::Format_RGB32);
    const Annotation before = mark(AnnotationTool::Line, {{60.5, 10}, {60.5, 90}}, 3);
    const Annotation blur = mark(AnnotationTool::Blur, {{50, 40}, {70, 60}}, 2);
    const Annotation after = mark(AnnotationTool::Line, {{10, 50.5}, {90, 50.5}}, 3);
    const QImage out = drawOver(base, {before, blur, after});
    QVERIFY(sameColor(out.pixel(60, 45), Qt::white, 1)); // the earlier line is gone here
    QVERIFY(sameColor(out.pixel(60, 30), kRed));         // and intact outside the region
    QVERIFY(sameColor(out.pixel(55, 50), kRed));         // the later line is on top
}

void AnnotationRenderTest::checkerboardCellsFollowTheViewScale() {
    QCOMPARE(checkerboardCellSize(1), 18.0);
    QCOMPARE(checkerboardCellSize(0.5), 36.0);
    QCOMPARE(checkerboardCellSize(4), 8.0); // not 4.5: never under 8 image pixels
    QCOMPARE(checkerboardCellSize(0), 1800.0);

    const QPainterPath path = checkerboardPath(QRectF(0, 0, 50, 30), 20);
    // Dark cells: (0,0) (0,2) (1,1) — the last column and row cut to the rectangle.
    QCOMPARE(path.boundingRect(), QRectF(0, 0, 50, 30));
    QVERIFY(path.contains(QPointF(5, 5)));
    QVERIFY(!path.contains(QPointF(25, 5)));
    QVERIFY(path.contains(QPointF(45, 5)));
    QVERIFY(path.contains(QPointF(25, 25)));
    QVERIFY(!path.contains(QPointF(5, 25)));
}

void AnnotationRenderTest::checkerboardIsDrawnUnderATransparentImage() {
    const QImage base = filled(144, 72, Qt::transparent);
    QImage screen = filled(72, 36, Qt::transparent);
    {
        QPainter painter(&screen);
        AnnotationRenderView{base, {}, std::nullopt, true}.draw(painter, screen.rect());
    }
    // s = 0.5: cells are 36 image pixels, 18 on screen; the top-left one is dark.
    const QColor dark = QColor::fromRgbF(0.62f, 0.62f, 0.62f);
    const QColor light = QColor::fromRgbF(0.82f, 0.82f, 0.82f);
    QVERIFY(sameColor(screen.pixel(9, 9), dark, 1));
    QVERIFY(sameColor(screen.pixel(27, 9), light, 1));
    QVERIFY(sameColor(screen.pixel(27, 27), dark, 1));
    QVERIFY(sameColor(screen.pixel(17, 9), dark, 1));
    QVERIFY(sameColor(screen.pixel(18, 9), light, 1));
}

void AnnotationRenderTest::viewScalesImagePixelsOntoTheTarget() {
    const QImage base = filled(400, 200, Qt::white, QImage::Format_RGB32);
    const Annotation line = mark(AnnotationTool::Line, {{0, 101}, {400, 101}}, 4);
    Annotation draft = mark(AnnotationTool::Line, {{201, 0}, {201, 200}}, 4, AnnotationColor::Blue);
    QImage screen = filled(220, 120, Qt::transparent);
    {
        QPainter painter(&screen);
        AnnotationRenderView{base, {line}, draft, false}.draw(painter, QRectF(10, 10, 200, 100));
    }
    QVERIFY(sameColor(screen.pixel(50, 60), kRed));
    QVERIFY(sameColor(screen.pixel(50, 30), Qt::white));
    // The draft is drawn last, over the finished marks.
    QVERIFY(sameColor(screen.pixel(110, 60), toQColor(AnnotationColor::Blue)));
    // Nothing spills outside the image's place.
    QCOMPARE(qAlpha(screen.pixel(5, 60)), 0);
    QCOMPARE(qAlpha(screen.pixel(215, 60)), 0);
}

void AnnotationRenderTest::cachedAndUncachedFramesAreIdentical() {
    QImage base(800, 600, QImage::Format_RGB32);
    for (int y = 0; y < base.height(); ++y) {
        for (int x = 0; x < base.width(); ++x) {
            base.setPixel(x, y, qRgb((x / 7) % 256, (y / 3) % 256, ((x + y) / 5) % 256));
        }
    }
    const QList<Annotation> marks{mark(AnnotationTool::Blur, {{100, 100}, {300, 250}}, 3),
                                  mark(AnnotationTool::Arrow, {{50, 50}, {500, 400}}, 3),
                                  mark(AnnotationTool::Blur, {{0, 400}, {350, 600}}, 5)};
    const auto frame = [&](RenderCache& cache) {
        QImage screen = filled(400, 300, Qt::transparent);
        QPainter painter(&screen);
        AnnotationRenderView{base, marks, std::nullopt, false}.draw(painter, screen.rect(), cache);
        return screen;
    };
    RenderCache cache;
    const QImage cold = frame(cache);
    const QImage warm = frame(cache);
    RenderCache other;
    QCOMPARE(warm, cold);
    QCOMPARE(frame(other), cold);
    cache.clearBlurredRegions();
    QCOMPARE(frame(cache), cold);

    // A changed image never reads the old image's blur back.
    QImage changed = base;
    changed.setPixel(150, 150, qRgb(255, 0, 255));
    QVERIFY(cache.blurredRegion(changed, {100, 100, 200, 150}, 12) !=
            cache.blurredRegion(base, {100, 100, 200, 150}, 12));
}

namespace {

QImage detailedImage(int width, int height, QImage::Format format) {
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y,
                           qRgba((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256,
                                 format == QImage::Format_RGB32 ? 255 : (x * y) % 256));
        }
    }
    return format == QImage::Format_ARGB32
               ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
               : image;
}

QList<Annotation> everyTool() {
    QList<Annotation> marks{
        mark(AnnotationTool::Pencil, {{10, 10}, {60, 40}, {90, 15}, {130, 70}}, 4),
        mark(AnnotationTool::Highlight, {{20, 100}, {200, 120}}, 5, AnnotationColor::Yellow),
        mark(AnnotationTool::Line, {{300, 20}, {380, 200}}, 3, AnnotationColor::Green),
        mark(AnnotationTool::Arrow, {{50, 250}, {250, 180}}, 6, AnnotationColor::Blue),
        mark(AnnotationTool::Rect, {{220, 230}, {390, 290}}, 3),
        mark(AnnotationTool::Ellipse, {{150, 20}, {280, 90}}, 2, AnnotationColor::Black),
        mark(AnnotationTool::Blur, {{100.5, 130.25}, {260, 220}}, 3),
        mark(AnnotationTool::Step, {{340, 260}}, 3, AnnotationColor::White),
    };
    Annotation label = mark(AnnotationTool::Text, {{30, 200}}, 0, AnnotationColor::Orange);
    label.text = "Label";
    label.fontSize = 26;
    marks.append(label);
    return marks;
}

QImage frameOn(QImage surface, const AnnotationRenderView& view, const QRectF& target,
               RenderCache& cache) {
    QPainter painter(&surface);
    view.draw(painter, target, cache);
    painter.end();
    return surface;
}

} // namespace

void AnnotationRenderTest::keptFramesMatchDrawingAfresh_data() {
    QTest::addColumn<QRectF>("target");
    QTest::addColumn<double>("surfaceRatio");
    QTest::addColumn<bool>("transparentBase");
    QTest::newRow("one to one") << QRectF(0, 0, 400, 300) << 1.0 << false;
    QTest::newRow("half, offset") << QRectF(13, 7, 200, 150) << 1.0 << false;
    QTest::newRow("odd scale, fractional offset")
        << QRectF(10.3, 4.6, 147.7, 110.775) << 1.0 << false;
    QTest::newRow("enlarged") << QRectF(-20, -10, 600, 450) << 1.0 << false;
    QTest::newRow("checkerboard") << QRectF(5, 5, 250, 187.5) << 1.0 << true;
    QTest::newRow("high density surface") << QRectF(3.5, 2, 180, 135) << 2.0 << false;
}

void AnnotationRenderTest::keptFramesMatchDrawingAfresh() {
    QFETCH(QRectF, target);
    QFETCH(double, surfaceRatio);
    QFETCH(bool, transparentBase);
    const QImage base =
        detailedImage(400, 300, transparentBase ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    AnnotationRenderView view{base, everyTool(), std::nullopt, transparentBase};
    QImage surface(QSize(420, 320) * surfaceRatio, QImage::Format_ARGB32_Premultiplied);
    surface.fill(QColor(30, 60, 90, 200));
    surface.setDevicePixelRatio(surfaceRatio);

    RenderCache afresh(0);
    RenderCache kept;
    const QImage expected = frameOn(surface, view, target, afresh);
    QCOMPARE(frameOn(surface, view, target, kept), expected); // drawn into the cache
    QCOMPARE(frameOn(surface, view, target, kept), expected); // copied from it

    // A drag: the draft moves over the kept frame.
    for (const QPointF end : {QPointF(390, 10), QPointF(200.5, 150.25)}) {
        view.draft = mark(AnnotationTool::Arrow, {{20, 280}, end}, 4, AnnotationColor::Green);
        QCOMPARE(frameOn(surface, view, target, kept), frameOn(surface, view, target, afresh));
    }
}

void AnnotationRenderTest::keptFramesFollowEveryChange() {
    const QImage base = detailedImage(400, 300, QImage::Format_RGB32);
    QImage surface(400, 300, QImage::Format_ARGB32_Premultiplied);
    surface.fill(Qt::transparent);
    const QRectF target(0, 0, 200, 150);
    RenderCache afresh(0);
    RenderCache kept;
    AnnotationRenderView view{base, everyTool(), std::nullopt, false};
    const auto check = [&] {
        QCOMPARE(frameOn(surface, view, target, kept), frameOn(surface, view, target, afresh));
    };
    check();
    // Editing: two marks appended one after the other, one undone, another appended. Each
    // frame continues from or reuses a kept one, and must match drawing it all afresh.
    const Annotation first = mark(AnnotationTool::Line, {{0, 0}, {400, 300}}, 5);
    const Annotation second = mark(AnnotationTool::Blur, {{150, 50}, {380, 280}}, 4);
    const Annotation third = mark(AnnotationTool::Highlight, {{10, 290}, {390, 10}}, 6);
    view.annotations.append(first);
    check();
    view.annotations.append(second);
    check();
    view.annotations.removeLast();
    check();
    view.annotations.append(third);
    check();
    view.annotations.clear();
    check();
    view.showsCheckerboard = true;
    check();
    QImage edited = base;
    edited.fill(Qt::darkGreen); // background removal replaces the image
    view.baseImage = edited;
    check();
    const QFont original = QGuiApplication::font();
    QFont larger = original;
    larger.setFamily("DejaVu Serif");
    QGuiApplication::setFont(larger);
    check();
    QGuiApplication::setFont(original);
}

void AnnotationRenderTest::screenAtScaleOneShowsTheFlattenedImage() {
    for (const auto format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
        const QImage base = detailedImage(400, 300, format);
        const QList<Annotation> marks = everyTool();
        QImage screen(400, 300, QImage::Format_ARGB32_Premultiplied);
        screen.fill(Qt::transparent);
        RenderCache cache;
        const QImage shown =
            frameOn(screen, {base, marks, std::nullopt, false}, screen.rect(), cache);
        const QImage flattened = AnnotationExporter::composite(base, marks, cache);
        QCOMPARE(flattened.convertToFormat(QImage::Format_ARGB32_Premultiplied), shown);
    }
}

QTEST_MAIN(AnnotationRenderTest)
#include "AnnotationRenderTest.moc"
