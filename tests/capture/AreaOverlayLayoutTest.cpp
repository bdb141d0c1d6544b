#include <QTest>

#include "capture/AreaOverlayLayout.h"

using namespace ivra;
namespace layout = ivra::AreaOverlayLayout;

// Where the overlay's parts go on a 1440 × 900 point display.
class AreaOverlayLayoutTest : public QObject {
    Q_OBJECT
    const QSizeF m_view{1440, 900};

private Q_SLOTS:
    void magnifierFollowsThePointerInsideTheDisplay() {
        // Up and to the right of the pointer…
        QCOMPARE(layout::magnifierCentre({500, 400}, m_view), QPointF(560, 340));
        // …pushed back inside near the right and top edges, also in the very corner…
        QCOMPARE(layout::magnifierCentre({1440, 0}, m_view), QPointF(1380, 60));
        QCOMPARE(layout::magnifierCentre({1420, 30}, m_view), QPointF(1380, 60));
        // …and a display the pointer never entered shows it at the bottom-left corner.
        QCOMPARE(layout::magnifierCentre({0, 900}, m_view), QPointF(60, 840));
        // 20 points of pixels around the pointer, at the display's scale.
        QCOMPARE(layout::magnifierSourceRect({100, 50}, 2), QRectF(180, 80, 40, 40));
        QCOMPARE(layout::magnifierSourceRect({0, 0}, 1), QRectF(-10, -10, 20, 20));
    }

    void sizeLabelSitsAboveTheSelection() {
        QCOMPARE(layout::sizeLabelText({1280.9, 720.2}), QStringLiteral("1280 \u00D7 720"));
        QCOMPARE(layout::sizeLabelText({0.5, 12}), QStringLiteral("0 \u00D7 12"));
        QCOMPARE(layout::sizeLabelCentre({100, 300, 200, 50}), QPointF(200, 286));
        QCOMPARE(layout::sizeLabelCentre({100, 0, 200, 50}), QPointF(200, 12));
    }

    void toolbarGoesBelowAboveOrOverTheSelection() {
        // Room below: 36 points under the bottom edge.
        QCOMPARE(layout::toolbarCentre({600, 200, 240, 300}, m_view), QPointF(720, 536));
        // Touching the bottom: above the selection.
        QCOMPARE(layout::toolbarCentre({600, 500, 240, 400}, m_view), QPointF(720, 464));
        // Within 80 points of the bottom and 68 of the top: over the selection, at y = 32.
        QCOMPARE(layout::toolbarCentre({600, 60, 240, 770}, m_view), QPointF(720, 32));
        // Kept 250 points from either side.
        QCOMPARE(layout::toolbarCentre({50, 200, 100, 100}, m_view).x(), 250.0);
        QCOMPARE(layout::toolbarCentre({1300, 200, 140, 100}, m_view).x(), 1190.0);
        // A display narrower than 500 points centres it at 250.
        QCOMPARE(layout::toolbarCentre({0, 0, 300, 100}, QSizeF(400, 900)).x(), 250.0);
        QCOMPARE(layout::hintCentre({600, 200, 240, 300}, m_view), QPointF(720, 564));
        QCOMPARE(layout::toastCentre({600, 200, 240, 300}), QPointF(720, 156));
        QCOMPARE(layout::toastCentre({600, 10, 240, 300}), QPointF(720, 24));
        QVERIFY(layout::hintText().contains(QStringLiteral("Ctrl+C copy")));
    }
};

QTEST_MAIN(AreaOverlayLayoutTest)
#include "AreaOverlayLayoutTest.moc"
