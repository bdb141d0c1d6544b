#include <QPainter>
#include <QTest>

#include "annotation/AnnotationExporter.h"

using namespace ivra;

namespace {

const QColor kRed = toQColor(AnnotationColor::Red);

Annotation redLine(QPointF from, QPointF to, double width) {
    return Annotation::makeDrawn(AnnotationTool::Line, from, to, AnnotationColor::Red, width, 1);
}

QImage gradient(int width, int height, QImage::Format format) {
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixelColor(x, y, QColor(x % 256, y % 256, 128));
        }
    }
    return image;
}

} // namespace

class AnnotationExporterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noMarksGiveTheSameImageBack();
    void resultHasTheBaseSizeWhateverTheMarks();
    void marksLandOnTheirImagePixels();
    void transparentAreasStayTransparent();
    void opaqueBasesGiveOpaqueResults();
    void blurChangesOnlyItsRegion();
    void callersImageIsNeverDrawnInto();
    void highDensityImagesAreDrawnInPixels();
};

void AnnotationExporterTest::noMarksGiveTheSameImageBack() {
    const QImage base = gradient(64, 48, QImage::Format_RGB32);
    const QImage result = AnnotationExporter::composite(base, {});
    QCOMPARE(result.cacheKey(), base.cacheKey());
    QCOMPARE(result.constBits(), base.constBits());
    QVERIFY(AnnotationExporter::composite(QImage(), {redLine({0, 0}, {5, 5}, 2)}).isNull());
}

void AnnotationExporterTest::resultHasTheBaseSizeWhateverTheMarks() {
    for (const QSize size : {QSize(1, 1), QSize(333, 17), QSize(17, 333)}) {
        const QImage base = gradient(size.width(), size.height(), QImage::Format_RGB32);
        Annotation label =
            Annotation::makeText({0, 0}, "overflowing label", AnnotationColor::Blue, 8, 1).value();
        const QImage result = AnnotationExporter::composite(
            base, {redLine({-50, -50}, {500, 500}, 8), label,
                   Annotation::makeStep({400, 400}, 1, AnnotationColor::Red, 3, 1)});
        QCOMPARE(result.size(), size);
    }
}

void AnnotationExporterTest::marksLandOnTheirImagePixels() {
    const QImage base = gradient(100, 80, QImage::Format_RGB32);
    const QImage result = AnnotationExporter::composite(base, {redLine({10, 40.5}, {90, 40.5}, 6)});
    for (int x = 12; x <= 88; x += 4) {
        for (int y = 38; y <= 42; ++y) {
            QCOMPARE(result.pixelColor(x, y), kRed);
        }
    }
    // Well clear of the stroke the base shows through unchanged.
    QCOMPARE(result.pixel(50, 30), base.pixel(50, 30));
    QCOMPARE(result.pixel(5, 40), base.pixel(5, 40));
    QCOMPARE(result.pixel(50, 50), base.pixel(50, 50));
}

void AnnotationExporterTest::transparentAreasStayTransparent() {
    QImage base(60, 60, QImage::Format_ARGB32);
    base.fill(Qt::transparent);
    base.setPixelColor(5, 5, QColor(0, 255, 0, 128)); // a half-transparent pixel of the subject
    const QImage result = AnnotationExporter::composite(base, {redLine({30.5, 0}, {30.5, 60}, 4)});
    QVERIFY(result.hasAlphaChannel());
    QCOMPARE(qAlpha(result.pixel(10, 30)), 0);
    QCOMPARE(qAlpha(result.pixel(50, 50)), 0);
    QCOMPARE(result.pixelColor(30, 30), kRed);
    const QColor subject = result.pixelColor(5, 5);
    QCOMPARE(subject.alpha(), 128);
    QVERIFY(subject.green() >= 253 && subject.red() == 0);
}

void AnnotationExporterTest::opaqueBasesGiveOpaqueResults() {
    // Opaque in, opaque out, so the PNG is written without an alpha channel.
    const QImage base = gradient(40, 40, QImage::Format_RGB888);
    const QImage result = AnnotationExporter::composite(base, {redLine({0, 0}, {40, 40}, 3)});
    QVERIFY(!result.hasAlphaChannel());
    QCOMPARE(result.pixel(35, 5), base.pixel(35, 5));
}

void AnnotationExporterTest::blurChangesOnlyItsRegion() {
    const QImage base = gradient(200, 150, QImage::Format_RGB32);
    QImage stripes = base;
    {
        QPainter painter(&stripes);
        for (int x = 0; x < 200; x += 6) {
            painter.fillRect(x, 0, 3, 150, Qt::black);
        }
    }
    const Annotation blur = Annotation::makeDrawn(AnnotationTool::Blur, {40, 30}, {120, 90},
                                                  AnnotationColor::Red, 3, 1);
    const QImage result = AnnotationExporter::composite(stripes, {blur});
    int changedInside = 0;
    for (int y = 0; y < 150; ++y) {
        for (int x = 0; x < 200; ++x) {
            const bool inside = x >= 40 && x < 120 && y >= 30 && y < 90;
            if (!inside) {
                QCOMPARE(result.pixel(x, y), stripes.pixel(x, y));
            } else if (result.pixel(x, y) != stripes.pixel(x, y)) {
                ++changedInside;
            }
        }
    }
    QVERIFY(changedInside > 80 * 60 * 9 / 10);
    // Stripes three pixels wide average out to a flat grey under a radius-12 blur.
    QVERIFY(std::abs(qGreen(result.pixel(80, 60)) - qGreen(result.pixel(83, 60))) <= 3);
}

void AnnotationExporterTest::callersImageIsNeverDrawnInto() {
    for (const auto format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        const QImage base = gradient(50, 50, format);
        const QImage before = base.copy();
        const QImage result = AnnotationExporter::composite(base, {redLine({0, 25}, {50, 25}, 5)});
        QCOMPARE(base, before);
        QVERIFY(result != before);
    }
}

void AnnotationExporterTest::highDensityImagesAreDrawnInPixels() {
    QImage base = gradient(100, 100, QImage::Format_RGB32);
    base.setDevicePixelRatio(2);
    const QImage result = AnnotationExporter::composite(base, {redLine({60.5, 0}, {60.5, 100}, 3)});
    QCOMPARE(result.size(), QSize(100, 100));
    QCOMPARE(result.devicePixelRatio(), 2.0);
    QCOMPARE(result.pixelColor(60, 50), kRed);
    QCOMPARE(result.pixel(30, 50), base.pixel(30, 50));
}

QTEST_MAIN(AnnotationExporterTest)
#include "AnnotationExporterTest.moc"
