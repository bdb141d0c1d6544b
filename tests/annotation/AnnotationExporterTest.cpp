#include <QTest>

#include "RenderTestSupport.h"
#include "annotation/AnnotationExporter.h"

using namespace ivra;
using namespace ivra::test;

namespace {

const QColor kRed = toQColor(AnnotationColor::Red);

// Pixels of `after` that differ from `before`, outside and inside `region`.
std::pair<int, int> changes(const QImage& before, const QImage& after, const QRect& region) {
    int outside = 0, inside = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            if (before.pixel(x, y) != after.pixel(x, y)) {
                ++(region.contains(x, y) ? inside : outside);
            }
        }
    }
    return {outside, inside};
}

} // namespace

class AnnotationExporterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noMarksGiveTheSameImageBack();
    void resultHasTheBaseSizeWhateverTheMarks();
    void lineLandsOnItsImagePixels();
    void transparentAreasStayTransparent();
    void blurChangesExactlyItsRegion();
    void blurBlendsWithWhatSurroundsIt();
    void blurCoversEarlierMarksButNotLaterOnes();
    void callersImageIsNeverDrawnInto();
};

void AnnotationExporterTest::noMarksGiveTheSameImageBack() {
    const QImage base = detailed(64, 48);
    const QImage result = AnnotationExporter::composite(base, {});
    QCOMPARE(result.cacheKey(), base.cacheKey());
    QCOMPARE(result.constBits(), base.constBits());
}

void AnnotationExporterTest::resultHasTheBaseSizeWhateverTheMarks() {
    for (const QSize size : {QSize(1, 1), QSize(333, 17), QSize(17, 333)}) {
        QImage base = detailed(size.width(), size.height());
        base.setDevicePixelRatio(2); // a capture of a high-density screen
        const QImage result = AnnotationExporter::composite(
            base, {mark(AnnotationTool::Line, {{-50, -50}, {500, 500}}, 8),
                   *Annotation::makeText({0, 0}, "overflowing label", AnnotationColor::Blue, 8, 1),
                   Annotation::makeStep({400, 400}, 1, AnnotationColor::Red, 3, 1)});
        QCOMPARE(result.size(), size);
        QCOMPARE(result.devicePixelRatio(), 2.0);
        QVERIFY(!result.hasAlphaChannel()); // opaque in, opaque out: PNG without alpha
    }
}

void AnnotationExporterTest::lineLandsOnItsImagePixels() {
    QImage base = detailed(100, 80);
    base.setDevicePixelRatio(2); // marks are in pixels whatever the image's density
    const QImage result = AnnotationExporter::composite(
        base, {mark(AnnotationTool::Line, {{10, 40.5}, {90, 40.5}}, 6)});
    for (int x = 12; x <= 88; x += 4) {
        for (int y = 38; y <= 42; ++y) {
            QCOMPARE(result.pixelColor(x, y), kRed);
        }
    }
    const auto [outside, inside] = changes(base, result, QRect(6, 36, 88, 9));
    QCOMPARE(outside, 0);
}

void AnnotationExporterTest::transparentAreasStayTransparent() {
    QImage base = filled(60, 60, Qt::transparent, QImage::Format_ARGB32);
    base.setPixelColor(5, 5, QColor(0, 255, 0, 128)); // a half-transparent pixel of the subject
    const QImage result = AnnotationExporter::composite(
        base, {mark(AnnotationTool::Line, {{30.5, 0}, {30.5, 60}}, 4)});
    QCOMPARE(qAlpha(result.pixel(10, 30)), 0);
    QCOMPARE(qAlpha(result.pixel(50, 50)), 0);
    QCOMPARE(result.pixelColor(30, 30), kRed);
    QCOMPARE(result.pixelColor(5, 5).alpha(), 128);
    QVERIFY(result.pixelColor(5, 5).green() >= 253);
}

void AnnotationExporterTest::blurChangesExactlyItsRegion() {
    const QImage base = halves(40, 40);
    // Two pixels tall or wide is not a region: nothing changes.
    QCOMPARE(
        AnnotationExporter::composite(base, {mark(AnnotationTool::Blur, {{15, 10}, {25, 12}}, 3)}),
        base);
    QCOMPARE(
        AnnotationExporter::composite(base, {mark(AnnotationTool::Blur, {{15, 10}, {17, 30}}, 3)}),
        base);
    // Three by three on the black-white edge is: exactly those nine pixels change.
    const QImage patch =
        AnnotationExporter::composite(base, {mark(AnnotationTool::Blur, {{19, 19}, {22, 22}}, 3)});
    QCOMPARE(changes(base, patch, QRect(19, 19, 3, 3)), std::make_pair(0, 9));

    const QImage large = detailed(200, 150);
    const QImage blurred = AnnotationExporter::composite(
        large, {mark(AnnotationTool::Blur, {{120, 90}, {40, 30}}, 3)});
    const auto [outside, inside] = changes(large, blurred, QRect(40, 30, 80, 60));
    QCOMPARE(outside, 0);
    QVERIFY(inside > 80 * 60 * 9 / 10);
}

void AnnotationExporterTest::blurBlendsWithWhatSurroundsIt() {
    // The region lies wholly in the white half, 3 pixels from the black edge: the blur
    // (radius 8) still pulls in dark pixels from outside it, about a third at its edge.
    const QImage base = halves(200, 100);
    const QImage out = AnnotationExporter::composite(
        base, {mark(AnnotationTool::Blur, {{103, 20}, {160, 80}}, 2)});
    QVERIFY(qRed(out.pixel(103, 50)) > 150 && qRed(out.pixel(103, 50)) < 190);
    QVERIFY(qRed(out.pixel(104, 50)) > qRed(out.pixel(103, 50)));
    QVERIFY(sameColor(out.pixel(158, 50), Qt::white, 1));
    // Past the image's own edges the edge pixels repeat: a region over the whole image stays
    // opaque and its black edge stays black instead of fading.
    const QImage whole =
        AnnotationExporter::composite(base, {mark(AnnotationTool::Blur, {{0, 0}, {200, 100}}, 6)});
    for (const QPoint corner : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 99), QPoint(199, 99)}) {
        QCOMPARE(qAlpha(whole.pixel(corner)), 255);
    }
    QVERIFY(qRed(whole.pixel(0, 50)) < 40 && qRed(whole.pixel(199, 50)) > 215);
}

void AnnotationExporterTest::blurCoversEarlierMarksButNotLaterOnes() {
    const QImage out = AnnotationExporter::composite(
        filled(100, 100, Qt::white), {mark(AnnotationTool::Line, {{60.5, 10}, {60.5, 90}}, 3),
                                      mark(AnnotationTool::Blur, {{50, 40}, {70, 60}}, 2),
                                      mark(AnnotationTool::Line, {{10, 50.5}, {90, 50.5}}, 3)});
    QVERIFY(sameColor(out.pixel(60, 45), Qt::white, 1)); // the earlier line is gone here
    QVERIFY(sameColor(out.pixel(60, 30), kRed));         // and intact outside the region
    QVERIFY(sameColor(out.pixel(55, 50), kRed));         // the later line is on top
}

void AnnotationExporterTest::callersImageIsNeverDrawnInto() {
    for (const bool translucent : {false, true}) {
        const QImage base = detailed(50, 50, translucent)
                                .convertToFormat(translucent ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
        const QImage before = base.copy();
        const QImage result = AnnotationExporter::composite(
            base, {mark(AnnotationTool::Line, {{0, 25}, {50, 25}}, 5)});
        QCOMPARE(base, before);
        QVERIFY(result != before);
    }
}

QTEST_MAIN(AnnotationExporterTest)
#include "AnnotationExporterTest.moc"
