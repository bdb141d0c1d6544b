#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include "annotation/AnnotationExporter.h"
#include "annotation/AnnotationGeometry.h"
#include "annotation/AnnotationRenderView.h"

using namespace ivra;
using AnnotationExporter::composite;

namespace {

const QColor kRed = toQColor(AnnotationColor::Red);
constexpr auto kPremultiplied = QImage::Format_ARGB32_Premultiplied;

Annotation mark(AnnotationTool tool, QList<QPointF> points, double lineWidth,
                AnnotationColor color = AnnotationColor::Red, const QString& text = {},
                double fontSize = 0) {
    return {QUuid(), tool, std::move(points), text, color, lineWidth, fontSize};
}

QImage filled(int width, int height, const QColor& color,
              QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(color);
    return image;
}

// Noise, so resampling and blurring show every difference.
QImage detailed(int width, int height, bool translucent = false) {
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(image.bits()), width * height);
    return translucent ? image : image.convertToFormat(QImage::Format_RGB32);
}

bool sameColor(QRgb pixel, const QColor& color, int tolerance = 0) {
    return std::max({std::abs(qRed(pixel) - color.red()), std::abs(qGreen(pixel) - color.green()),
                     std::abs(qBlue(pixel) - color.blue()),
                     std::abs(qAlpha(pixel) - color.alpha())}) <= tolerance;
}

QImage frameOn(QImage surface, const AnnotationRenderView& view, const QRectF& target,
               RenderCache& cache = RenderCache::shared()) {
    QPainter painter(&surface);
    view.draw(painter, target, cache);
    painter.end();
    return surface;
}

// Where `after` differs from `before` by more than `tolerance`, and in how many pixels.
std::pair<QRect, int> differences(const QImage& before, const QImage& after, int tolerance = 0) {
    std::pair<QRect, int> found;
    for (int i = 0; i < before.width() * before.height(); ++i) {
        const QPoint at(i % before.width(), i / before.width());
        if (!sameColor(after.pixel(at), before.pixelColor(at), tolerance)) {
            found = {found.first | QRect(at, at), found.second + 1};
        }
    }
    return found;
}

QList<Annotation> everyTool() {
    return {
        mark(AnnotationTool::Pencil, {{10, 10}, {60, 40}, {90, 15}, {130, 70}}, 4),
        mark(AnnotationTool::Highlight, {{20, 100}, {200, 120}}, 5, AnnotationColor::Yellow),
        mark(AnnotationTool::Line, {{300, 20}, {380, 200}}, 3, AnnotationColor::Green),
        mark(AnnotationTool::Arrow, {{50, 250}, {250, 180}}, 6, AnnotationColor::Blue),
        mark(AnnotationTool::Rect, {{220, 230}, {390, 290}}, 3),
        mark(AnnotationTool::Ellipse, {{150, 20}, {280, 90}}, 2, AnnotationColor::Black),
        mark(AnnotationTool::Blur, {{100.5, 130.25}, {260, 220}}, 3),
        mark(AnnotationTool::Step, {{340, 260}}, 3, AnnotationColor::White),
        mark(AnnotationTool::Text, {{30, 200}}, 0, AnnotationColor::Orange, "Label", 26),
    };
}

} // namespace

class AnnotationRenderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void marksKeepTheirShapesBadgesAndLabelsShowTheirText();
    void viewScalesOntoTheTargetAndFlatteningMatchesItKeepingTheImagesTraits();
    void keptFramesGiveTheSamePixels_data();
    void keptFramesGiveTheSamePixels();
    void blurChangesExactlyItsRegionAndEqualsThatPartOfTheWholeBlurred();
};

void AnnotationRenderTest::marksKeepTheirShapesBadgesAndLabelsShowTheirText() {
    const QImage white = filled(300, 120, Qt::white);
    const auto draw = [&](const Annotation& one) { return composite(white, {one}); };
    // A right angle: smoothing would cut the corner, the round join covers it.
    const QImage corner =
        draw(mark(AnnotationTool::Pencil, {{10.5, 10.5}, {80.5, 10.5}, {80.5, 80.5}}, 6));
    QVERIFY(sameColor(corner.pixel(82, 9), kRed, 10) && sameColor(corner.pixel(60, 30), Qt::white));
    // A rectangle dragged straight down is one vertical line with round ends.
    const QImage flat = draw(mark(AnnotationTool::Rect, {{50.5, 20}, {50.5, 80}}, 4));
    QVERIFY(sameColor(flat.pixel(50, 50), kRed) && sameColor(flat.pixel(50, 19), kRed, 20));
    QVERIFY(sameColor(flat.pixel(45, 50), Qt::white) && sameColor(flat.pixel(56, 50), Qt::white));
    // A click with the pencil, or a line whose ends meet, leaves a dot as wide as the line.
    for (const AnnotationTool tool : {AnnotationTool::Pencil, AnnotationTool::Line}) {
        const QImage dot = draw(mark(tool, {{50.5, 50.5}, {50.5, 50.5}}, 6));
        QVERIFY(sameColor(dot.pixel(50, 50), kRed) && sameColor(dot.pixel(51, 49), kRed) &&
                sameColor(dot.pixel(50, 55), Qt::white));
    }
    QCOMPARE(draw(mark(AnnotationTool::Pencil, {{50.5, 50.5}}, 6)), white);

    // The highlighter does not darken where it crosses or retraces itself.
    const QImage marked = draw(
        mark(AnnotationTool::Highlight, {{10, 60}, {110, 60}, {60, 10}, {60, 110}, {60, 30}}, 3));
    const QRgb once = marked.pixel(30, 60);
    QVERIFY(marked.pixel(60, 60) == once && marked.pixel(60, 40) == once);
    QVERIFY(std::abs(qGreen(once) - qRound(255 - 0.35 * (255 - kRed.green()))) <= 2);

    // Thin arrows still get a 12-pixel head, π/7 off the shaft.
    const ArrowHead thin = arrowHead({0, 0}, {100, 0}, 3);
    QVERIFY(std::abs(thin.wing1.x() - 89.19) < 0.005 && std::abs(thin.wing1.y() + 5.21) < 0.005);
    QVERIFY(std::abs(thin.wing2.x() - 89.19) < 0.005 && std::abs(thin.wing2.y() - 5.21) < 0.005);
    // Two-point tools read the first and the last point, in either order.
    QCOMPARE(boundingRect(mark(AnnotationTool::Blur, {{30, 40}, {99, 99}, {10, 5}}, 3)),
             QRectF(10, 5, 20, 35));
    const QImage arrow = draw(mark(AnnotationTool::Arrow, {{20, 50}, {180, 50}}, 8));
    const ArrowHead head = arrowHead({20, 50}, {180, 50}, 8);
    QCOMPARE(head.lengthPx, 28.0);
    QVERIFY(sameColor(arrow.pixel(head.wing1.toPoint()), kRed, 60) &&
            sameColor(arrow.pixel(head.wing2.toPoint()), kRed, 60));
    // Where a filled head would be, over 4 pixels from both strokes, it is hollow.
    QVERIFY(sameColor(arrow.pixel(155, 43), Qt::white) &&
            sameColor(arrow.pixel(155, 56), Qt::white));

    // Text labels are set at their font size from their top-left corner.
    const auto inkOf = [&](double fontSize) {
        return differences(white,
                           draw(mark(AnnotationTool::Text, {{20, 10}}, 0, AnnotationColor::Black,
                                     "HH", fontSize)),
                           8)
            .first;
    };
    const QRect small = inkOf(22.5);
    QVERIFY(small.left() >= 20 && small.left() <= 24 && small.top() >= 10 && small.top() <= 32);
    // Capitals are about 0.7 of the size; twice the size, twice the height.
    QVERIFY2(small.height() >= 13 && small.height() <= 19,
             qPrintable(QString::number(small.height())));
    QVERIFY(std::abs(inkOf(45).height() - 2 * small.height()) <= 2);

    // Badges: black on white and yellow, white on the rest; a badge numbered 0 shows 1.
    for (const AnnotationColor color : kPalette) {
        const StepBadge badge = stepBadge(mark(AnnotationTool::Step, {{0, 0}}, 3, color));
        const bool light = color == AnnotationColor::Yellow || color == AnnotationColor::White;
        QVERIFY(badge.contrast == QColor(light ? Qt::black : Qt::white) && badge.label == "1");
    }
    // Two digits (10 to 99) take the smaller font: 0.95 of the radius instead of 1.25.
    for (const int number : {9, 10, 42, 99}) {
        Annotation numbered = mark(AnnotationTool::Step, {{0, 0}}, 3, AnnotationColor::Red);
        numbered.number = number;
        const StepBadge badge = stepBadge(numbered);
        QCOMPARE(badge.label, QString::number(number));
        QCOMPARE(badge.fontSizePx, badge.radiusPx * (number < 10 ? 1.25 : 0.95));
    }
    // The blur's radius is 4 × the line width in image pixels, at least 8, at every width.
    for (const auto& [width, radius] : std::initializer_list<std::pair<double, double>>{
             {1, 8}, {2, 8}, {3, 12}, {5, 20}, {8, 32}}) {
        QCOMPARE(blurRadius(width), radius);
    }
    const QColor grey(128, 128, 128);
    Annotation step = mark(AnnotationTool::Step, {{60, 60}}, 3, AnnotationColor::White);
    step.number = 8;
    const QImage out = composite(filled(120, 120, grey), {step});
    QVERIFY(sameColor(out.pixel(60 + 17, 60), Qt::black, 40)); // the ring on the rim
    QVERIFY(sameColor(out.pixel(60 + 14, 60 - 6), Qt::white, 10));
    QVERIFY(sameColor(out.pixel(60 + 25, 60), grey));
    const QRect digit = differences(filled(24, 30, Qt::white), out.copy(48, 45, 24, 30), 8).first;
    QVERIFY(std::abs(digit.center().x() - 12) <= 2 && std::abs(digit.center().y() - 15) <= 3 &&
            digit.height() >= 12);
}

void AnnotationRenderTest::viewScalesOntoTheTargetAndFlatteningMatchesItKeepingTheImagesTraits() {
    const Annotation line = mark(AnnotationTool::Line, {{0, 101}, {400, 101}}, 4);
    const Annotation draft =
        mark(AnnotationTool::Line, {{201, 0}, {201, 200}}, 4, AnnotationColor::Blue);
    const QImage screen =
        frameOn(filled(220, 120, Qt::transparent, kPremultiplied),
                {filled(400, 200, Qt::white), {line}, draft, false}, QRectF(10, 10, 200, 100));
    QVERIFY(sameColor(screen.pixel(50, 60), kRed) && sameColor(screen.pixel(50, 30), Qt::white));
    QVERIFY(sameColor(screen.pixel(110, 60), toQColor(AnnotationColor::Blue)));      // draft on top
    QVERIFY(qAlpha(screen.pixel(5, 60)) == 0 && qAlpha(screen.pixel(215, 60)) == 0); // clipped

    QCOMPARE(checkerboardCellSize(4), 8.0); // not 4.5: never under 8 image pixels
    // Under a transparent image at s = 0.5: 36-pixel cells are 18 on screen, top-left dark.
    const QImage cells =
        frameOn(filled(72, 36, Qt::transparent, kPremultiplied),
                {filled(144, 72, Qt::transparent, QImage::Format_ARGB32), {}, std::nullopt, true},
                QRectF(0, 0, 72, 36));
    const QColor dark = QColor::fromRgbF(0.62f, 0.62f, 0.62f);
    const QColor light = QColor::fromRgbF(0.82f, 0.82f, 0.82f);
    QVERIFY(sameColor(cells.pixel(17, 9), dark, 1) && sameColor(cells.pixel(18, 9), light, 1));
    QVERIFY(sameColor(cells.pixel(27, 27), dark, 1) && sameColor(cells.pixel(9, 27), light, 1));

    // What the screen shows at scale 1 is what flattening gives.
    for (const bool translucent : {false, true}) {
        const QImage base = detailed(400, 300, translucent);
        RenderCache cache;
        const QImage shown = frameOn(filled(400, 300, Qt::transparent, kPremultiplied),
                                     {base, everyTool(), std::nullopt, false}, base.rect(), cache);
        QCOMPARE(composite(base, everyTool(), cache).convertToFormat(kPremultiplied), shown);
    }

    // A capture of a high-density screen: marks are in pixels whatever the image's density.
    QImage base = detailed(100, 80);
    base.setDevicePixelRatio(2);
    const QImage result =
        composite(base, {mark(AnnotationTool::Line, {{10, 40.5}, {90, 40.5}}, 6)});
    for (const QPoint inside : {QPoint(12, 38), QPoint(50, 40), QPoint(88, 42)}) {
        QCOMPARE(result.pixelColor(inside), kRed);
    }
    QVERIFY(QRect(6, 36, 88, 9).contains(differences(base, result).first));
    QCOMPARE(result.devicePixelRatio(), 2.0);
    QVERIFY(!result.hasAlphaChannel()); // opaque in, opaque out: PNG without alpha
    const QList<Annotation> overflowing{
        mark(AnnotationTool::Line, {{-50, -50}, {500, 500}}, 8),
        *Annotation::makeText({0, 0}, "overflowing label", AnnotationColor::Blue, 8, 1)};
    QCOMPARE(composite(detailed(1, 1), overflowing).size(), QSize(1, 1));
    // Drawing never reaches the caller's pixels, even in a format that could share them.
    for (const auto format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        const QImage image = detailed(50, 50, true).convertToFormat(format);
        const QImage before = image.copy();
        QVERIFY(composite(image, {mark(AnnotationTool::Line, {{0, 25}, {50, 25}}, 5)}) != before);
        QCOMPARE(image, before);
    }

    // Transparent areas stay transparent where no mark covers them.
    QImage clear = filled(60, 60, Qt::transparent, QImage::Format_ARGB32);
    clear.setPixelColor(5, 5, QColor(0, 255, 0, 128)); // a half-transparent pixel of the subject
    const QImage over = composite(clear, {mark(AnnotationTool::Line, {{30.5, 0}, {30.5, 60}}, 4)});
    QVERIFY(qAlpha(over.pixel(10, 30)) == 0 && qAlpha(over.pixel(50, 50)) == 0);
    QCOMPARE(over.pixelColor(30, 30), kRed);
    QVERIFY(over.pixelColor(5, 5).alpha() == 128 && over.pixelColor(5, 5).green() >= 253);
}

void AnnotationRenderTest::keptFramesGiveTheSamePixels_data() {
    QTest::addColumn<QRectF>("target");
    QTest::addColumn<double>("surfaceRatio");
    QTest::addColumn<bool>("transparentBase");
    QTest::newRow("odd scale, fractional offset")
        << QRectF(10.3, 4.6, 147.7, 110.775) << 1.0 << false;
    QTest::newRow("enlarged, checkerboard") << QRectF(-20, -10, 600, 450) << 1.0 << true;
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
    const auto check = [&] {
        QCOMPARE(frameOn(surface, view, target, kept), frameOn(surface, view, target, afresh));
    };
    check(); // drawn and kept
    check(); // reused
    // A drag moves the draft over the kept frame; marks are appended, one is undone, another
    // appended. Each frame is kept, or drawn on from a kept one whose marks come first...
    for (const QPointF end : {QPointF(390, 10), QPointF(200.5, 150.25)}) {
        view.draft = mark(AnnotationTool::Blur, {{20, 280}, end}, 4);
        check();
    }
    view.draft.reset();
    const Annotation line = mark(AnnotationTool::Line, {{0, 0}, {400, 300}}, 5);
    view.annotations.append(line);
    check();
    view.annotations.append(mark(AnnotationTool::Blur, {{150, 50}, {380, 280}}, 4));
    check();
    view.annotations.removeLast();
    check();
    // ...but not across a change of checkerboard, image (background removal) or font.
    view.showsCheckerboard = !view.showsCheckerboard;
    view.annotations.append(line);
    check();
    view.baseImage = filled(400, 300, Qt::darkGreen);
    view.annotations.append(line);
    check();
    const QFont original = QGuiApplication::font();
    QFont serif = original;
    serif.setFamily("DejaVu Serif");
    QGuiApplication::setFont(serif);
    view.annotations.append(line);
    check();
    QGuiApplication::setFont(original);
    view.annotations.clear();
    check();
}

void AnnotationRenderTest::blurChangesExactlyItsRegionAndEqualsThatPartOfTheWholeBlurred() {
    // Any region equals its part of a larger one around it, also at the image's edges, and
    // large regions put together from kept tiles equal regions computed at once.
    const QImage noise = detailed(700, 560);
    const QImage allNoise = blurImageRegion(noise, noise.rect(), 5);
    for (const QRect part : {QRect(30, 20, 12, 9), QRect(0, 0, 10, 10), QRect(690, 550, 30, 30)}) {
        QCOMPARE(blurImageRegion(noise, part, 5), allNoise.copy(part & noise.rect()));
    }
    RenderCache cache;
    for (const QRect region :
         {QRect(37, 23, 300, 250), QRect(37, 23, 640, 520), QRect(500, 300, 400, 400)}) {
        QCOMPARE(cache.blurredRegion(noise, region, 6), blurImageRegion(noise, region, 6));
    }
    // Changed pixels are a different image: no stale blur comes back.
    QImage changed = noise;
    changed.setPixel(150, 150, qRgb(255, 0, 255));
    QVERIFY(cache.blurredRegion(changed, {100, 100, 200, 150}, 12) !=
            cache.blurredRegion(noise, {100, 100, 200, 150}, 12));

    // Crops of one picture share what lies wholly inside them; near a crop's edge the crop's
    // own edge repeats, which the picture would not do, so that is never shared.
    const QImage first = noise.copy(100, 100, 400, 300);
    const QImage moved = noise.copy(130, 90, 400, 300);
    cache.noteWindow(first, noise, {100, 100});
    cache.noteWindow(moved, noise, {130, 90});
    const QRect inside(200, 150, 120, 80); // in `first`'s pixels
    const QRect nearEdge(40, 20, 120, 80); // in `moved` the kernel reaches past its left edge
    for (const QRect& region : {inside, nearEdge}) {
        cache.blurredRegion(first, region, 6);
        const QRect same = region.translated(-30, 10); // the same screen pixels in `moved`
        QCOMPARE(cache.blurredRegion(moved, same, 6), blurImageRegion(moved, same, 6));
    }

    QImage base = filled(200, 100, Qt::white); // black left half: a sharp edge to soften
    QPainter(&base).fillRect(0, 0, 100, 100, Qt::black);
    const auto blurred = [&](QPointF from, QPointF to, double lineWidth) {
        return composite(base, {mark(AnnotationTool::Blur, {from, to}, lineWidth)});
    };
    // Two pixels tall or wide is not a region: nothing changes.
    QVERIFY(blurred({95, 10}, {105, 12}, 3) == base && blurred({95, 10}, {97, 30}, 3) == base);
    // Three by three on the black-white edge is: exactly those nine pixels change.
    QCOMPARE(differences(base, blurred({99, 19}, {102, 22}, 3)),
             std::make_pair(QRect(99, 19, 3, 3), 9));
    // A region wholly in the white half, 3 pixels from the black edge: the blur (radius 8)
    // still pulls in dark pixels from outside it, about a third at its edge.
    const QImage out = blurred({103, 20}, {160, 80}, 2);
    QVERIFY(qRed(out.pixel(103, 50)) > 150 && qRed(out.pixel(103, 50)) < 190);
    QVERIFY(sameColor(out.pixel(158, 50), Qt::white, 1));
    // Past the image's own edges the edge pixels repeat: a region over the whole image stays
    // opaque and its black edge stays black instead of fading.
    const QImage whole = blurred({0, 0}, {200, 100}, 6);
    for (const QPoint corner : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 99), QPoint(199, 99)}) {
        QCOMPARE(qAlpha(whole.pixel(corner)), 255);
    }
    QVERIFY(qRed(whole.pixel(0, 50)) < 40 && qRed(whole.pixel(199, 50)) > 215);

    // Blur covers the marks before it, not those after it.
    const QImage covered =
        composite(base, {mark(AnnotationTool::Line, {{160.5, 10}, {160.5, 90}}, 3),
                         mark(AnnotationTool::Blur, {{150, 40}, {170, 60}}, 2),
                         mark(AnnotationTool::Line, {{110, 50.5}, {190, 50.5}}, 3)});
    QVERIFY(sameColor(covered.pixel(160, 45), Qt::white, 1)); // the earlier line is gone here
    QVERIFY(sameColor(covered.pixel(160, 30), kRed));         // and intact outside the region
    QVERIFY(sameColor(covered.pixel(155, 50), kRed));         // the later line is on top
}

QTEST_MAIN(AnnotationRenderTest)
#include "AnnotationRenderTest.moc"
