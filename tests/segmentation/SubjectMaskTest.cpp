#include <QPainter>
#include <QTest>

#include "segmentation/SubjectMask.h"

using namespace ivra::segmentation;

namespace {

constexpr int kSide = 200;

// A black mask with filled ellipses of the given grey levels.
QImage maskWith(const QList<QPair<QRect, int>>& shapes) {
    QImage mask(kSide, kSide, QImage::Format_Grayscale8);
    mask.fill(0);
    QPainter painter(&mask);
    painter.setPen(Qt::NoPen);
    for (const auto& [rect, level] : shapes) {
        painter.setBrush(QColor(level, level, level));
        painter.drawRect(rect);
    }
    return mask;
}

} // namespace

class SubjectMaskTest : public QObject {
    Q_OBJECT

private slots:
    void decidesWhetherAMaskHoldsASubject_data();
    void decidesWhetherAMaskHoldsASubject();
    void theMaskBecomesTheImagesAlpha();
    void theNetworkSeesRgbAroundMiddleGrey();
};

void SubjectMaskTest::decidesWhetherAMaskHoldsASubject_data() {
    QTest::addColumn<QImage>("mask");
    QTest::addColumn<bool>("subject");

    // 3 % of 200 × 200 is 1,200 pixels: 40 × 30.
    QTest::newRow("confident, just large enough") << maskWith({{QRect(0, 0, 40, 30), 255}}) << true;
    QTest::newRow("confident, one row short") << maskWith({{QRect(0, 0, 40, 29), 255}}) << false;
    QTest::newRow("empty") << maskWith({}) << false;
    // Large but unsure: a half-selected terminal window.
    QTest::newRow("large, mean 0.79") << maskWith({{QRect(0, 0, 150, 150), 201}}) << false;
    QTest::newRow("large, mean 0.80") << maskWith({{QRect(0, 0, 150, 150), 204}}) << true;
    // Below the threshold nothing counts, however much of the image it covers: neither alone
    // nor as a part of the subject it touches.
    QTest::newRow("everywhere just under 0.5")
        << maskWith({{QRect(0, 0, kSide, kSide), 127}}) << false;
    QTest::newRow("subject beside a large part just under 0.5")
        << maskWith({{QRect(0, 30, kSide, 170), 127}, {QRect(0, 0, 40, 30), 255}}) << true;
    // Only the largest part is judged: many small confident parts do not add up…
    QList<QPair<QRect, int>> specks;
    for (int i = 0; i < 8; ++i) {
        specks.append({QRect(i * 25, 100, 20, 50), 255}); // 1,000 pixels each
    }
    QTest::newRow("scattered specks") << maskWith(specks) << false;
    // …and the largest part decides, wherever it lies.
    QTest::newRow("largest part unsure")
        << maskWith({{QRect(0, 0, 60, 60), 255}, {QRect(80, 80, 110, 110), 150}}) << false;
    QTest::newRow("largest part sure")
        << maskWith({{QRect(0, 0, 60, 60), 150}, {QRect(80, 80, 110, 110), 255}}) << true;
}

void SubjectMaskTest::decidesWhetherAMaskHoldsASubject() {
    QFETCH(QImage, mask);
    QFETCH(bool, subject);
    const SubjectCoverage coverage = largestSubject(mask);
    QCOMPARE(isSubject(coverage), subject);
}

void SubjectMaskTest::theMaskBecomesTheImagesAlpha() {
    // A 4 × 2 mask over an 80 × 40 image: the left half opaque, the right transparent,
    // stretched in each direction on its own.
    QImage mask(4, 2, QImage::Format_Grayscale8);
    mask.fill(0);
    for (int y = 0; y < 2; ++y) {
        mask.scanLine(y)[0] = 255;
        mask.scanLine(y)[1] = 255;
    }
    QImage image(80, 40, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 10));

    const QImage cut = applyMask(image, mask);
    QCOMPARE(cut.size(), image.size());
    QVERIFY(cut.hasAlphaChannel());
    QCOMPARE(cut.pixelColor(2, 2), QColor(200, 40, 10));
    QCOMPARE(cut.pixelColor(2, 37), QColor(200, 40, 10));
    QCOMPARE(qAlpha(cut.pixel(77, 20)), 0);
    // The edge between them stays soft, and keeps its colour (premultiplied, as stored).
    QCOMPARE(cut.format(), QImage::Format_ARGB32_Premultiplied);
    const QColor edge = cut.pixelColor(40, 20);
    QVERIFY2(edge.alpha() > 20 && edge.alpha() < 235, qPrintable(QString::number(edge.alpha())));
    QVERIFY(qAbs(edge.red() - 200) <= 2 && qAbs(edge.green() - 40) <= 2 && edge.blue() <= 12);

    // An image already cut out keeps its transparent parts.
    QImage translucent(80, 40, QImage::Format_ARGB32);
    translucent.fill(QColor(200, 40, 10, 0));
    QCOMPARE(qAlpha(applyMask(translucent, mask).pixel(2, 2)), 0);
}

void SubjectMaskTest::theNetworkSeesRgbAroundMiddleGrey() {
    // Left half one colour, right half another, stretched from 4 × 2 to 8 × 8; a
    // transparent image is middle grey, which is 0.
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(QColor(0, 255, 128));
    QPainter(&image).fillRect(0, 0, 2, 2, QColor(200, 40, 10));
    QImage clear(4, 2, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);

    const cv::Mat blob = networkInput(image, 8);
    const cv::Mat none = networkInput(clear, 8);
    QCOMPARE(blob.size[0], 1);
    QCOMPARE(blob.size[1], 3);
    QCOMPARE(blob.size[2], 8);
    QCOMPARE(blob.size[3], 8);
    const auto at = [](const cv::Mat& m, int channel, int x) {
        return m.ptr<float>(0, channel)[4 * 8 + x];
    };
    QCOMPARE(at(blob, 0, 1), (200 - 128) / 256.0f);
    QCOMPARE(at(blob, 1, 1), (40 - 128) / 256.0f);
    QCOMPARE(at(blob, 2, 1), (10 - 128) / 256.0f);
    QCOMPARE(at(blob, 0, 6), -0.5f);
    QCOMPARE(at(blob, 1, 6), (255 - 128) / 256.0f);
    QCOMPARE(at(blob, 2, 6), 0.0f);
    QCOMPARE(cv::countNonZero(none.reshape(1, 1)), 0);
}

QTEST_GUILESS_MAIN(SubjectMaskTest)
#include "SubjectMaskTest.moc"
