#include <cmath>
#include <numbers>

#include <QGuiApplication>
#include <QPainter>
#include <QTest>

#include "RenderTestSupport.h"
#include "annotation/AnnotationExporter.h"
#include "annotation/AnnotationGeometry.h"
#include "annotation/AnnotationRenderView.h"

using namespace ivra;
using namespace ivra::test;

namespace {

const QColor kRed = toQColor(AnnotationColor::Red);

QImage frameOn(QImage surface, const AnnotationRenderView& view, const QRectF& target,
               RenderCache& cache = RenderCache::shared()) {
    QPainter painter(&surface);
    view.draw(painter, target, cache);
    painter.end();
    return surface;
}

// Marks drawn at one image pixel per pixel over a copy of `base`.
QImage drawnOver(const QImage& base, const QList<Annotation>& marks) {
    return frameOn(
        filled(base.width(), base.height(), Qt::transparent, QImage::Format_ARGB32_Premultiplied),
        {base, marks, std::nullopt, false}, base.rect());
}

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

} // namespace

class AnnotationRenderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void arrowHeadIsTwoOpenStrokesAtTheReferenceAngles();
    void badgeGeometryAndContrast_data();
    void badgeGeometryAndContrast();
    void badgeIsDrawnWithRingAndLabel();
    void strokesAreStraightWithRoundEnds();
    void highlighterDoesNotDarkenWhereItCrossesItself();
    void textIsSetAtItsFontSizeFromItsTopLeftCorner();
    void blurIsThatPartOfTheWholeImageBlurred();
    void checkerboardCellsFollowTheViewScale();
    void viewScalesImagePixelsOntoTheTarget();
    void keptFramesGiveTheSamePixels_data();
    void keptFramesGiveTheSamePixels();
    void keptFramesFollowEveryChange();
    void screenAtScaleOneShowsTheFlattenedImage();
};

void AnnotationRenderTest::arrowHeadIsTwoOpenStrokesAtTheReferenceAngles() {
    const ArrowHead thin = arrowHead({0, 0}, {100, 0}, 3);
    QCOMPARE(thin.lengthPx, 12.0); // 3.5 × 3 = 10.5 is under the minimum
    const double dx = 12 * std::cos(std::numbers::pi / 7);
    const double dy = 12 * std::sin(std::numbers::pi / 7);
    QVERIFY(std::abs(thin.wing1.x() - (100 - dx)) < 1e-9 && std::abs(thin.wing1.y() + dy) < 1e-9);
    QVERIFY(std::abs(thin.wing2.x() - (100 - dx)) < 1e-9 && std::abs(thin.wing2.y() - dy) < 1e-9);
    QVERIFY(std::abs(thin.wing1.x() - 89.19) < 0.005 && std::abs(thin.wing2.y() - 5.21) < 0.005);
    QCOMPARE(arrowHead({0, 0}, {100, 0}, 8).lengthPx, 28.0);
    // Two-point tools read the first and the last point, in either order.
    QCOMPARE(boundingRect(mark(AnnotationTool::Blur, {{30, 40}, {99, 99}, {10, 5}}, 3)),
             QRectF(10, 5, 20, 35));

    const QImage out = drawnOver(filled(200, 100, Qt::white),
                                 {mark(AnnotationTool::Arrow, {{20, 50}, {180, 50}}, 8)});
    const ArrowHead head = arrowHead({20, 50}, {180, 50}, 8);
    QVERIFY(sameColor(out.pixel(head.wing1.toPoint()), kRed, 60));
    QVERIFY(sameColor(out.pixel(head.wing2.toPoint()), kRed, 60));
    // Between a wing's end and the shaft, where a filled head would be, it is hollow:
    // (155.5, 43.5) lies over 4 pixels from both strokes' centre lines.
    QCOMPARE(QPoint(int(head.wing1.x() + 0.7), int(head.wing1.y() + 5.65)), QPoint(155, 43));
    QVERIFY(sameColor(out.pixel(155, 43), Qt::white));
    QVERIFY(sameColor(out.pixel(155, 56), Qt::white));
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
    StepBadge badge = stepBadge(step);
    QCOMPARE(badge.contrast, contrast);
    QCOMPARE(badge.label, QString("1")); // a badge numbered 0 shows 1
    QCOMPARE(badge.radiusPx, 18.0);
    QVERIFY(std::abs(badge.ringWidthPx - 2.16) < 1e-9);
    QCOMPARE(badge.fontSizePx, 22.5);
    step.number = 10;
    step.lineWidth = 5;
    badge = stepBadge(step);
    QCOMPARE(badge.radiusPx, 30.0);
    QCOMPARE(badge.fontSizePx, 30 * 0.95);
    step.lineWidth = 0;
    QCOMPARE(stepBadge(step).ringWidthPx, 2.16); // never smaller than the default badge
}

void AnnotationRenderTest::badgeIsDrawnWithRingAndLabel() {
    const QColor grey(128, 128, 128);
    Annotation step = mark(AnnotationTool::Step, {{60, 60}}, 3, AnnotationColor::White);
    step.number = 8;
    const QImage out = drawnOver(filled(120, 120, grey), {step});
    QVERIFY(sameColor(out.pixel(60 + 17, 60), Qt::black, 40)); // the ring on the rim
    QVERIFY(sameColor(out.pixel(60 + 14, 60 - 6), Qt::white, 10));
    QVERIFY(sameColor(out.pixel(60 + 25, 60), grey));
    const QRect label = inkBounds(out.copy(48, 45, 24, 30), Qt::white);
    QVERIFY(std::abs(label.center().x() - 12) <= 2 && std::abs(label.center().y() - 15) <= 3);
    QVERIFY(label.height() >= 12);
}

void AnnotationRenderTest::strokesAreStraightWithRoundEnds() {
    const QImage base = filled(100, 100, Qt::white);
    // A right angle: smoothing would cut the corner, the round join covers it.
    const QImage corner = drawnOver(
        base, {mark(AnnotationTool::Pencil, {{10.5, 10.5}, {80.5, 10.5}, {80.5, 80.5}}, 6)});
    QVERIFY(sameColor(corner.pixel(82, 9), kRed, 10));
    QVERIFY(sameColor(corner.pixel(60, 30), Qt::white));
    // A rectangle dragged straight down is one vertical line with round ends.
    const QImage flat = drawnOver(base, {mark(AnnotationTool::Rect, {{50.5, 20}, {50.5, 80}}, 4)});
    QVERIFY(sameColor(flat.pixel(50, 50), kRed));
    QVERIFY(sameColor(flat.pixel(45, 50), Qt::white) && sameColor(flat.pixel(56, 50), Qt::white));
    QVERIFY(sameColor(flat.pixel(50, 19), kRed, 20));
    // A click with the pencil, or a line whose ends meet, leaves a dot as wide as the line.
    for (const AnnotationTool tool : {AnnotationTool::Pencil, AnnotationTool::Line}) {
        const QImage dot = drawnOver(base, {mark(tool, {{50.5, 50.5}, {50.5, 50.5}}, 6)});
        QVERIFY(sameColor(dot.pixel(50, 50), kRed) && sameColor(dot.pixel(51, 49), kRed));
        QVERIFY(sameColor(dot.pixel(50, 55), Qt::white));
    }
    QCOMPARE(drawnOver(base, {mark(AnnotationTool::Pencil, {{50.5, 50.5}}, 6)}),
             drawnOver(base, {}));
}

void AnnotationRenderTest::highlighterDoesNotDarkenWhereItCrossesItself() {
    const Annotation stroke =
        mark(AnnotationTool::Highlight, {{10, 60}, {110, 60}, {60, 10}, {60, 110}, {60, 30}}, 3);
    const QImage out = drawnOver(filled(120, 120, Qt::white), {stroke});
    const QRgb once = out.pixel(30, 60);
    QCOMPARE(out.pixel(60, 60), once); // crossing
    QCOMPARE(out.pixel(60, 40), once); // retraced
    QVERIFY(std::abs(qGreen(once) - qRound(255 - 0.35 * (255 - kRed.green()))) <= 2);
}

void AnnotationRenderTest::textIsSetAtItsFontSizeFromItsTopLeftCorner() {
    const QImage base = filled(300, 120, Qt::white);
    const auto inkOf = [&](double fontSize, const QString& text) {
        Annotation label = mark(AnnotationTool::Text, {{20, 10}}, 0, AnnotationColor::Black);
        label.text = text;
        label.fontSize = fontSize;
        return inkBounds(drawnOver(base, {label}), Qt::white);
    };
    const QRect small = inkOf(22.5, "HH");
    const QRect large = inkOf(45, "HH");
    QVERIFY(small.left() >= 20 && small.left() <= 24);
    QVERIFY(small.top() >= 10 && small.top() <= 32);
    // Capitals are about 0.7 of the size; twice the size, twice the height.
    QVERIFY2(small.height() >= 13 && small.height() <= 19,
             qPrintable(QString::number(small.height())));
    QVERIFY(std::abs(large.height() - 2 * small.height()) <= 2);
    QVERIFY(inkOf(30, "").isEmpty());
}

void AnnotationRenderTest::blurIsThatPartOfTheWholeImageBlurred() {
    // Any region equals its part of a larger one around it, also at the image's edges, and
    // large regions put together from kept tiles equal regions computed at once.
    const QImage base = detailed(700, 560);
    const QImage whole = blurImageRegion(base, base.rect(), 5);
    for (const QRect part : {QRect(30, 20, 12, 9), QRect(0, 0, 10, 10), QRect(690, 550, 30, 30)}) {
        QCOMPARE(blurImageRegion(base, part, 5), whole.copy(part & base.rect()));
    }
    RenderCache cache;
    for (const QRect region : {QRect(37, 23, 300, 250), QRect(37, 23, 420, 300),
                               QRect(37, 23, 640, 520), QRect(500, 300, 400, 400)}) {
        QCOMPARE(cache.blurredRegion(base, region, 6), blurImageRegion(base, region, 6));
    }
    // Changed pixels are a different image: no stale blur comes back.
    QImage changed = base;
    changed.setPixel(150, 150, qRgb(255, 0, 255));
    QVERIFY(cache.blurredRegion(changed, {100, 100, 200, 150}, 12) !=
            cache.blurredRegion(base, {100, 100, 200, 150}, 12));
}

void AnnotationRenderTest::checkerboardCellsFollowTheViewScale() {
    QCOMPARE(checkerboardCellSize(1), 18.0);
    QCOMPARE(checkerboardCellSize(0.5), 36.0);
    QCOMPARE(checkerboardCellSize(4), 8.0); // not 4.5: never under 8 image pixels
    const QPainterPath cells = checkerboardPath(QRectF(0, 0, 50, 30), 20);
    QCOMPARE(cells.boundingRect(), QRectF(0, 0, 50, 30)); // edge cells cut to the rectangle
    QVERIFY(cells.contains(QPointF(5, 5)) && !cells.contains(QPointF(25, 5)));
    QVERIFY(cells.contains(QPointF(25, 25)) && !cells.contains(QPointF(5, 25)));

    // Under a transparent image at s = 0.5: 36-pixel cells are 18 on screen, top-left dark.
    const QImage screen =
        frameOn(filled(72, 36, Qt::transparent, QImage::Format_ARGB32_Premultiplied),
                {filled(144, 72, Qt::transparent, QImage::Format_ARGB32), {}, std::nullopt, true},
                QRectF(0, 0, 72, 36));
    const QColor dark = QColor::fromRgbF(0.62f, 0.62f, 0.62f);
    const QColor light = QColor::fromRgbF(0.82f, 0.82f, 0.82f);
    QVERIFY(sameColor(screen.pixel(17, 9), dark, 1) && sameColor(screen.pixel(18, 9), light, 1));
    QVERIFY(sameColor(screen.pixel(27, 27), dark, 1));
}

void AnnotationRenderTest::viewScalesImagePixelsOntoTheTarget() {
    const Annotation line = mark(AnnotationTool::Line, {{0, 101}, {400, 101}}, 4);
    const Annotation draft =
        mark(AnnotationTool::Line, {{201, 0}, {201, 200}}, 4, AnnotationColor::Blue);
    const QImage screen =
        frameOn(filled(220, 120, Qt::transparent, QImage::Format_ARGB32_Premultiplied),
                {filled(400, 200, Qt::white), {line}, draft, false}, QRectF(10, 10, 200, 100));
    QVERIFY(sameColor(screen.pixel(50, 60), kRed));
    QVERIFY(sameColor(screen.pixel(50, 30), Qt::white));
    QVERIFY(sameColor(screen.pixel(110, 60), toQColor(AnnotationColor::Blue))); // draft on top
    QCOMPARE(qAlpha(screen.pixel(5, 60)), 0); // nothing outside the image's place
    QCOMPARE(qAlpha(screen.pixel(215, 60)), 0);
}

void AnnotationRenderTest::keptFramesGiveTheSamePixels_data() {
    QTest::addColumn<QRectF>("target");
    QTest::addColumn<double>("surfaceRatio");
    QTest::addColumn<bool>("transparentBase");
    QTest::newRow("one to one") << QRectF(0, 0, 400, 300) << 1.0 << false;
    QTest::newRow("odd scale, fractional offset")
        << QRectF(10.3, 4.6, 147.7, 110.775) << 1.0 << false;
    QTest::newRow("enlarged") << QRectF(-20, -10, 600, 450) << 1.0 << false;
    QTest::newRow("checkerboard") << QRectF(5, 5, 250, 187.5) << 1.0 << true;
    QTest::newRow("high density surface") << QRectF(3.5, 2, 180, 135) << 2.0 << false;
}

void AnnotationRenderTest::keptFramesGiveTheSamePixels() {
    QFETCH(QRectF, target);
    QFETCH(double, surfaceRatio);
    QFETCH(bool, transparentBase);
    AnnotationRenderView view{detailed(400, 300, transparentBase), everyTool(), std::nullopt,
                              transparentBase};
    QImage surface(QSize(420, 320) * surfaceRatio, QImage::Format_ARGB32_Premultiplied);
    surface.fill(QColor(30, 60, 90, 200));
    surface.setDevicePixelRatio(surfaceRatio);
    RenderCache afresh(0); // keeps nothing
    RenderCache kept;
    const QImage expected = frameOn(surface, view, target, afresh);
    QCOMPARE(frameOn(surface, view, target, kept), expected); // drawn and kept
    QCOMPARE(frameOn(surface, view, target, kept), expected); // reused
    // A drag: the draft moves over the kept frame.
    for (const QPointF end : {QPointF(390, 10), QPointF(200.5, 150.25)}) {
        view.draft = mark(AnnotationTool::Blur, {{20, 280}, end}, 4);
        QCOMPARE(frameOn(surface, view, target, kept), frameOn(surface, view, target, afresh));
    }
}

void AnnotationRenderTest::keptFramesFollowEveryChange() {
    const QImage surface = filled(400, 300, Qt::transparent, QImage::Format_ARGB32_Premultiplied);
    const QRectF target(0, 0, 200, 150);
    RenderCache afresh(0);
    RenderCache kept;
    AnnotationRenderView view{detailed(400, 300), everyTool(), std::nullopt, false};
    const auto check = [&] {
        QCOMPARE(frameOn(surface, view, target, kept), frameOn(surface, view, target, afresh));
    };
    check();
    // Editing: two marks appended, one undone, another appended, all cleared. Frames are
    // reused or drawn on from a kept one and must match drawing everything afresh.
    view.annotations.append(mark(AnnotationTool::Line, {{0, 0}, {400, 300}}, 5));
    check();
    view.annotations.append(mark(AnnotationTool::Blur, {{150, 50}, {380, 280}}, 4));
    check();
    view.annotations.removeLast();
    check();
    view.annotations.append(mark(AnnotationTool::Highlight, {{10, 290}, {390, 10}}, 6));
    check();
    view.annotations.clear();
    check();
    view.annotations = everyTool();
    view.showsCheckerboard = true;
    check();
    view.baseImage = filled(400, 300, Qt::darkGreen); // background removal swaps the image
    check();
    const QFont original = QGuiApplication::font();
    QFont serif = original;
    serif.setFamily("DejaVu Serif");
    QGuiApplication::setFont(serif);
    check();
    QGuiApplication::setFont(original);
}

void AnnotationRenderTest::screenAtScaleOneShowsTheFlattenedImage() {
    for (const bool translucent : {false, true}) {
        const QImage base = detailed(400, 300, translucent);
        RenderCache cache;
        const QImage shown =
            frameOn(filled(400, 300, Qt::transparent, QImage::Format_ARGB32_Premultiplied),
                    {base, everyTool(), std::nullopt, false}, base.rect(), cache);
        QCOMPARE(AnnotationExporter::composite(base, everyTool(), cache)
                     .convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 shown);
    }
}

QTEST_MAIN(AnnotationRenderTest)
#include "AnnotationRenderTest.moc"
