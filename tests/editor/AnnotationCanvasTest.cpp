#include <QLineEdit>
#include <QTest>

#include "annotation/AnnotationStore.h"
#include "editor/EditorGeometry.h"
#include "editor/ui/AnnotationCanvasView.h"

using namespace ivra;

namespace {

// A white 800 × 600 image on a canvas `widthPt` points wide, drawing with `tool`.
struct Fixture {
    explicit Fixture(double widthPt, AnnotationTool tool = AnnotationTool::Pencil)
        : canvas(whiteImage(), store, QSizeF(widthPt, widthPt * 0.75), false) {
        store.setCurrentTool(tool);
        canvas.show();
    }
    static QImage whiteImage() {
        QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        return image;
    }
    // QTest reads a point of (0, 0) as "the widget's centre"; the tests avoid it.
    void press(QPoint at) { QTest::mousePress(&canvas, Qt::LeftButton, {}, at); }
    void move(QPoint to) { QTest::mouseMove(&canvas, to); }
    void release(QPoint at) { QTest::mouseRelease(&canvas, Qt::LeftButton, {}, at); }
    void click(QPoint at) { QTest::mouseClick(&canvas, Qt::LeftButton, {}, at); }
    void drag(QPoint from, QPoint to) {
        press(from);
        move((from + to) / 2);
        move(to);
        release(to);
    }
    void type(const QString& text) { QTest::keyClicks(canvas.textField(), text); }
    const QList<Annotation>& marks() const { return store.annotations(); }

    AnnotationStore store;
    AnnotationCanvasView canvas;
};

} // namespace

class AnnotationCanvasTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dragsAreShownAndStoredInImagePixelsPinnedToTheCanvas();
    void shapesNeedThreePixelsOfMovement_data();
    void shapesNeedThreePixelsOfMovement();
    void strokesKeepEveryPointAndShapesTheirLast();
    void labelsAreTypedInAPlacedFocusedFieldTrimmedAndClosedByTheNextClick();
};

void AnnotationCanvasTest::dragsAreShownAndStoredInImagePixelsPinnedToTheCanvas() {
    Fixture f(400, AnnotationTool::Line); // ratio 2
    const auto shownRed = [&](QPoint at) {
        const QColor shown = f.canvas.grab().toImage().pixelColor(at);
        return shown.red() > 180 && shown.green() < 80;
    };
    f.press({10, 10});
    QVERIFY(f.canvas.draft()); // a press is already a drag of length 0
    f.move({60, 10});
    QVERIFY(shownRed({35, 10}) && !shownRed({35, 20})); // the line being dragged
    f.release({60, 10});
    QVERIFY(!f.canvas.draft());
    QVERIFY(shownRed({35, 10})); // and the mark made of it
    QCOMPARE(f.marks()[0].points, (QList<QPointF>{{20, 20}, {120, 20}}));
    QCOMPARE(f.marks()[0].lineWidth, 6.0); // width 3 at ratio 2
    // Drags that leave the 400 × 300 canvas end on its edge.
    f.drag({390, 290}, {520, 410});
    f.drag({10, 10}, {-40, -70});
    QCOMPARE(f.marks()[1].points, (QList<QPointF>{{780, 580}, {800, 600}}));
    QCOMPARE(f.marks()[2].points, (QList<QPointF>{{20, 20}, {0, 0}}));

    // Badges are not dragged: they go where the mouse is released.
    f.store.setCurrentTool(AnnotationTool::Step);
    f.press({10, 10});
    f.move({50, 50});
    QVERIFY(!f.canvas.draft());
    f.release({50, 50});
    QCOMPARE(f.marks()[3].points, QList<QPointF>{QPointF(100, 100)});
}

void AnnotationCanvasTest::shapesNeedThreePixelsOfMovement_data() {
    QTest::addColumn<double>("canvasWidth");
    QTest::addColumn<QPoint>("movement");
    QTest::addColumn<bool>("kept");
    QTest::newRow("2 px") << 800.0 << QPoint(2, 2) << false;
    QTest::newRow("3 px up") << 800.0 << QPoint(0, -3) << true;
    // Counted in image pixels: at ratio 2, one point is 2 pixels and two are 4.
    QTest::newRow("1 pt at 2x") << 400.0 << QPoint(1, 0) << false;
    QTest::newRow("2 pt at 2x") << 400.0 << QPoint(2, 0) << true;
}

void AnnotationCanvasTest::shapesNeedThreePixelsOfMovement() {
    QFETCH(double, canvasWidth);
    QFETCH(QPoint, movement);
    QFETCH(bool, kept);
    Fixture f(canvasWidth, AnnotationTool::Rect);
    f.drag({100, 100}, QPoint(100, 100) + movement);
    QCOMPARE(f.marks().size(), kept ? 1 : 0);
}

void AnnotationCanvasTest::strokesKeepEveryPointAndShapesTheirLast() {
    Fixture f(800);
    f.press({10, 10});
    f.move({30, 30});  // the window loses the mouse here: the release never comes
    f.click({50, 60}); // a pencil click is a dot, never discarded, and nothing of the above
    QCOMPARE(f.marks().size(), 1);
    QCOMPARE(f.marks()[0].points, (QList<QPointF>{{50, 60}, {50, 60}}));

    for (const AnnotationTool tool : {AnnotationTool::Highlight, AnnotationTool::Arrow}) {
        f.store.setCurrentTool(tool);
        f.press({10, 10});
        for (const QPoint point : {QPoint(20, 12), QPoint(30, 18), QPoint(40, 30)}) {
            f.move(point);
        }
        f.release({40, 30});
    }
    QCOMPARE(f.marks()[1].points,
             (QList<QPointF>{{10, 10}, {10, 10}, {20, 12}, {30, 18}, {40, 30}}));
    QCOMPARE(f.marks()[2].points, (QList<QPointF>{{10, 10}, {40, 30}}));
}

void AnnotationCanvasTest::labelsAreTypedInAPlacedFocusedFieldTrimmedAndClosedByTheNextClick() {
    Fixture f(400, AnnotationTool::Text);
    QVERIFY(QTest::qWaitForWindowActive(&f.canvas));
    QLineEdit* field = f.canvas.textField();
    f.press({30, 40});
    QVERIFY(field->isHidden()); // it opens on release, where the mouse is let go
    f.release({60, 80});
    QCOMPARE(f.store.pendingTextLocation(), QPointF(120, 160));
    QVERIFY(field->isVisible() && field->hasFocus());
    QCOMPARE(field->placeholderText(), QStringLiteral("Text"));
    // Its left edge at the click, vertically centred on it, kept 104 points from the sides
    // and 18 from the top and bottom; on a canvas too small for both the left and top win.
    const QPointF centre = QRectF(field->geometry()).center();
    QVERIFY(qAbs(centre.x() - 160) <= 1 && qAbs(centre.y() - 80) <= 1);
    const QList<QPair<QPointF, QPointF>> places{
        {{800, 300}, {296, 150}}, {{2, 2}, {104, 18}}, {{100, 600}, {150, 282}}};
    for (const auto& [label, expected] : places) {
        QCOMPARE(textFieldCentre(label, 2, QSizeF(400, 300)), expected);
    }
    QCOMPARE(textFieldCentre({150, 20}, 1, QSizeF(150, 30)), QPointF(104, 18));

    f.type(QStringLiteral("   hello world \t "));
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(field->isHidden());
    QCOMPARE(f.marks().size(), 1);
    QCOMPARE(f.marks()[0].text, QStringLiteral("hello world"));
    QCOMPARE(f.marks()[0].points, QList<QPointF>{QPointF(120, 160)});

    // Undo drops what was typed.
    f.click({100, 100});
    f.type(QStringLiteral("abc"));
    f.store.undo();
    QVERIFY(field->isHidden() && field->text().isEmpty());
    QVERIFY(f.marks().size() == 1 && f.store.pendingText().isEmpty());

    f.click({10, 10});
    f.type(QStringLiteral("first"));
    f.click({200, 200}); // commits, opens no new field
    QVERIFY(!f.store.pendingTextLocation());

    f.click({10, 100});
    f.type(QStringLiteral("second"));
    f.store.setCurrentTool(AnnotationTool::Pencil);
    f.press({50, 50});
    f.move({90, 90});
    QVERIFY(!f.canvas.draft()); // nothing is drawn while a field is open
    f.release({90, 90});

    f.store.setCurrentTool(AnnotationTool::Text);
    f.click({10, 150});
    f.store.setCurrentTool(AnnotationTool::Step);
    f.click({300, 150}); // closes the empty field, places no badge

    QCOMPARE(f.marks().size(), 3);
    QCOMPARE(f.marks()[1].text, QStringLiteral("first"));
    QCOMPARE(f.marks()[2].text, QStringLiteral("second"));
    QVERIFY(!f.store.pendingTextLocation());
}

QTEST_MAIN(AnnotationCanvasTest)
#include "AnnotationCanvasTest.moc"
