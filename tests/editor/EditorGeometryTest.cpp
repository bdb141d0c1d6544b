#include <QTest>

#include "editor/EditorGeometry.h"

using namespace ivra;

class EditorGeometryTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void editorOpensAtNaturalSizeOrSmaller_data();
    void editorOpensAtNaturalSizeOrSmaller();
    void textFieldKeepsItsMarginsWithTheLeftAndTopWinning();
};

void EditorGeometryTest::editorOpensAtNaturalSizeOrSmaller_data() {
    QTest::addColumn<QSize>("image");
    QTest::addColumn<std::optional<ScreenMetrics>>("screen");
    QTest::addColumn<QSizeF>("expected");

    const ScreenMetrics laptop{2, QSizeF(1440, 875)};
    // 1440 × 900 points into room for 1180.8 × 637.5: the height limits (f = 0.7083…).
    QTest::newRow("2880x1800 on a scale-2 laptop")
        << QSize(2880, 1800) << std::optional(laptop) << QSizeF(1020, 637.5);
    QTest::newRow("small image is never enlarged")
        << QSize(200, 100) << std::optional(laptop) << QSizeF(100, 50);
    QTest::newRow("wide image limited by the width")
        << QSize(4000, 400) << std::optional(ScreenMetrics{1, QSizeF(1000, 1000)})
        << QSizeF(820, 82);
    // No screen: scale 2 and room 1180.8 × 658.
    QTest::newRow("no screen") << QSize(4000, 2000) << std::optional<ScreenMetrics>()
                               << QSizeF(1180.8, 590.4);
    QTest::newRow("no screen, small image")
        << QSize(300, 200) << std::optional<ScreenMetrics>() << QSizeF(150, 100);
    // A one-pixel image is under one point on a scale-2 screen: it is not blown up.
    QTest::newRow("one pixel") << QSize(1, 1) << std::optional(laptop) << QSizeF(0.5, 0.5);
    QTest::newRow("nonsense scale falls back to 2")
        << QSize(400, 200) << std::optional(ScreenMetrics{0, QSizeF(1440, 900)})
        << QSizeF(200, 100);
}

void EditorGeometryTest::editorOpensAtNaturalSizeOrSmaller() {
    QFETCH(QSize, image);
    QFETCH(std::optional<ScreenMetrics>, screen);
    QFETCH(QSizeF, expected);
    const QSizeF size = editorDisplaySize(image, screen);
    QVERIFY2(qAbs(size.width() - expected.width()) < 1e-6,
             qPrintable(QString::number(size.width())));
    QVERIFY2(qAbs(size.height() - expected.height()) < 1e-6,
             qPrintable(QString::number(size.height())));
}

void EditorGeometryTest::textFieldKeepsItsMarginsWithTheLeftAndTopWinning() {
    QCOMPARE(textFieldCentre({800, 600}, 2, QSizeF(400, 300)), QPointF(296, 282));
    // Narrower than the field with its margins, and lower than 36 points.
    QCOMPARE(textFieldCentre({150, 20}, 1, QSizeF(150, 30)), QPointF(104, 18));
}

QTEST_GUILESS_MAIN(EditorGeometryTest)
#include "EditorGeometryTest.moc"
