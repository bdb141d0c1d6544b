#include <QLineEdit>
#include <QTest>

#include "annotation/AnnotationStore.h"
#include "editor/ui/AnnotationCanvasView.h"

using namespace ivra;

namespace {

// A white 800 × 600 image on a canvas `widthPt` points wide.
struct Fixture {
    explicit Fixture(double widthPt = 400)
        : canvas(whiteImage(), store, QSizeF(widthPt, widthPt * 0.75), false) {
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
    void typeLabel(const QString& text) {
        QTest::keyClicks(canvas.textField(), text);
        QTest::keyClick(canvas.textField(), Qt::Key_Return);
    }
    const QList<Annotation>& marks() const { return store.annotations(); }

    AnnotationStore store;
    AnnotationCanvasView canvas;
};

} // namespace

class AnnotationCanvasTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dragsAreStoredInImagePixelsWithOneRatio();
    void shapesNeedThreePixelsOfMovement_data();
    void shapesNeedThreePixelsOfMovement();
    void strokesKeepEveryPointAndShapesTheirLast();
    void dragsThatLeaveTheCanvasArePinnedToItsEdge();
    void aDragWhoseReleaseNeverCameIsAbandoned();
    void stepsNumberOnReleaseAndContinueAfterUndo();
    void labelsAreTypedInAFocusedFieldAndTrimmed();
    void theClickThatClosesAFieldDoesNothingElse();
    void textFieldIsPlacedByItsCentreWithinTheCanvas();
    void drawsTheImageMarksAndDraftAtTheCanvasScale();
};

void AnnotationCanvasTest::dragsAreStoredInImagePixelsWithOneRatio() {
    Fixture f(400); // ratio 2
    f.store.setCurrentTool(AnnotationTool::Line);
    f.press({10, 10});
    QVERIFY(f.canvas.draft()); // a press is already a drag of length 0
    f.move({60, 10});
    f.release({60, 10});
    QVERIFY(!f.canvas.draft());
    QCOMPARE(f.marks().size(), 1);
    QCOMPARE(f.marks()[0].points, (QList<QPointF>{{20, 20}, {120, 20}}));
    QCOMPARE(f.marks()[0].lineWidth, 6.0); // width 3 at ratio 2
}

void AnnotationCanvasTest::shapesNeedThreePixelsOfMovement_data() {
    QTest::addColumn<AnnotationTool>("tool");
    QTest::addColumn<double>("canvasWidth");
    QTest::addColumn<QPoint>("movement");
    QTest::addColumn<bool>("kept");
    QTest::newRow("rect click") << AnnotationTool::Rect << 800.0 << QPoint(0, 0) << false;
    QTest::newRow("rect 2 px") << AnnotationTool::Rect << 800.0 << QPoint(2, 2) << false;
    QTest::newRow("rect 3 px") << AnnotationTool::Rect << 800.0 << QPoint(3, 0) << true;
    QTest::newRow("line 3 px up") << AnnotationTool::Line << 800.0 << QPoint(0, -3) << true;
    QTest::newRow("blur 2 px") << AnnotationTool::Blur << 800.0 << QPoint(2, -2) << false;
    // Counted in image pixels: at ratio 2, one point is 2 pixels and two are 4.
    QTest::newRow("1 pt at 2x") << AnnotationTool::Ellipse << 400.0 << QPoint(1, 0) << false;
    QTest::newRow("2 pt at 2x") << AnnotationTool::Ellipse << 400.0 << QPoint(2, 0) << true;
}

void AnnotationCanvasTest::shapesNeedThreePixelsOfMovement() {
    QFETCH(AnnotationTool, tool);
    QFETCH(double, canvasWidth);
    QFETCH(QPoint, movement);
    QFETCH(bool, kept);
    Fixture f(canvasWidth);
    f.store.setCurrentTool(tool);
    f.drag({100, 100}, QPoint(100, 100) + movement);
    QCOMPARE(f.marks().size(), kept ? 1 : 0);
    if (kept && canvasWidth == 800) {
        QCOMPARE(f.marks()[0].points, (QList<QPointF>{{100, 100}, QPoint(100, 100) + movement}));
    }
}

void AnnotationCanvasTest::strokesKeepEveryPointAndShapesTheirLast() {
    Fixture f(800);
    f.click({50, 60}); // a pencil click is a dot, never discarded
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

void AnnotationCanvasTest::dragsThatLeaveTheCanvasArePinnedToItsEdge() {
    Fixture f(400); // 400 × 300 points over 800 × 600 pixels
    f.store.setCurrentTool(AnnotationTool::Rect);
    f.drag({390, 290}, {520, 410});
    f.drag({10, 10}, {-40, -70});
    QCOMPARE(f.marks()[0].points, (QList<QPointF>{{780, 580}, {800, 600}}));
    QCOMPARE(f.marks()[1].points, (QList<QPointF>{{20, 20}, {0, 0}}));
}

void AnnotationCanvasTest::aDragWhoseReleaseNeverCameIsAbandoned() {
    Fixture f(800);
    f.press({10, 10});
    f.move({30, 30}); // the window loses the mouse here: no release
    f.drag({100, 100}, {120, 100});
    QCOMPARE(f.marks().size(), 1);
    QCOMPARE(f.marks()[0].points.first(), QPointF(100, 100));
    QCOMPARE(f.marks()[0].points.size(), 4);
}

void AnnotationCanvasTest::stepsNumberOnReleaseAndContinueAfterUndo() {
    Fixture f(400);
    f.store.setCurrentTool(AnnotationTool::Step);
    f.press({10, 10});
    f.move({50, 50});
    QVERIFY(!f.canvas.draft()); // badges are not dragged
    f.release({50, 50});
    f.click({100, 20});
    f.click({150, 20});
    f.store.undo();
    f.click({200, 100});

    QList<int> numbers;
    for (const Annotation& mark : f.marks()) {
        numbers << mark.number;
    }
    QCOMPARE(numbers, (QList<int>{1, 2, 3}));
    QCOMPARE(f.marks()[0].points, QList<QPointF>{QPointF(100, 100)}); // where it was released
    QCOMPARE(f.marks()[2].points, QList<QPointF>{QPointF(400, 200)});
    QCOMPARE(f.marks()[0].lineWidth, 6.0);
}

void AnnotationCanvasTest::labelsAreTypedInAFocusedFieldAndTrimmed() {
    Fixture f(400);
    QVERIFY(QTest::qWaitForWindowActive(&f.canvas));
    f.store.setCurrentTool(AnnotationTool::Text);
    QLineEdit* field = f.canvas.textField();
    f.press({30, 40});
    QVERIFY(field->isHidden()); // it opens on release, where the mouse is let go
    f.release({60, 80});
    QCOMPARE(f.store.pendingTextLocation(), QPointF(120, 160));
    QVERIFY(field->isVisible() && field->hasFocus());
    QCOMPARE(field->placeholderText(), QStringLiteral("Text"));
    QCOMPARE(field->width(), 200);

    f.typeLabel(QStringLiteral("   hello world \t "));
    QVERIFY(field->isHidden());
    QCOMPARE(f.marks().size(), 1);
    QCOMPARE(f.marks()[0].text, QStringLiteral("hello world"));
    QCOMPARE(f.marks()[0].points, QList<QPointF>{QPointF(120, 160)});
    QCOMPARE(f.marks()[0].fontSize, 30.0); // width 3 × 5 × ratio 2

    // Blank labels close the field and add nothing; undo drops what was typed.
    f.click({100, 100});
    f.typeLabel(QStringLiteral("    "));
    f.click({100, 100});
    QTest::keyClicks(field, QStringLiteral("abc"));
    QCOMPARE(f.store.pendingText(), QStringLiteral("abc"));
    f.store.undo();
    QVERIFY(field->isHidden() && field->text().isEmpty());
    QCOMPARE(f.marks().size(), 1);
}

void AnnotationCanvasTest::theClickThatClosesAFieldDoesNothingElse() {
    Fixture f(400);
    f.store.setCurrentTool(AnnotationTool::Text);
    f.click({10, 10});
    QTest::keyClicks(f.canvas.textField(), QStringLiteral("first"));
    f.click({200, 200}); // commits, opens no new field
    QVERIFY(!f.store.pendingTextLocation());

    f.click({10, 100});
    QTest::keyClicks(f.canvas.textField(), QStringLiteral("second"));
    f.store.setCurrentTool(AnnotationTool::Pencil);
    f.press({50, 50});
    f.move({90, 90});
    QVERIFY(!f.canvas.draft()); // nothing is drawn while a field is open
    f.release({90, 90});

    f.store.setCurrentTool(AnnotationTool::Text);
    f.click({10, 150});
    f.store.setCurrentTool(AnnotationTool::Step);
    f.click({300, 150}); // closes the empty field, places no badge

    QCOMPARE(f.marks().size(), 2);
    QCOMPARE(f.marks()[0].text, QStringLiteral("first"));
    QCOMPARE(f.marks()[1].text, QStringLiteral("second"));
    QVERIFY(!f.store.pendingTextLocation());
}

void AnnotationCanvasTest::textFieldIsPlacedByItsCentreWithinTheCanvas() {
    // Canvas 400 × 300: the left edge at the click, vertically centred on it, 104 points
    // from the sides and 18 from the top and bottom at least.
    const QList<QPair<QPoint, QPointF>> cases{
        {{100, 150}, {200, 150}},
        {{400, 150}, {400 - 104, 150}},
        {{1, 1}, {104, 18}},
        {{50, 300}, {150, 300 - 18}},
    };
    for (const auto& [click, centre] : cases) {
        Fixture f(400);
        f.store.setCurrentTool(AnnotationTool::Text);
        f.click(click);
        const QPointF actual = QRectF(f.canvas.textField()->geometry()).center();
        QVERIFY2(qAbs(actual.x() - centre.x()) <= 1 && qAbs(actual.y() - centre.y()) <= 1,
                 qPrintable(QStringLiteral("%1,%2").arg(actual.x()).arg(actual.y())));
    }
}

void AnnotationCanvasTest::drawsTheImageMarksAndDraftAtTheCanvasScale() {
    Fixture f(400);
    f.store.setCurrentTool(AnnotationTool::Rect);
    f.store.setCurrentLineWidth(8); // 16 image pixels, 8 points on screen
    f.drag({50, 50}, {150, 150});
    f.store.setCurrentColor(AnnotationColor::Blue);
    f.press({250, 50});
    f.move({350, 150}); // still dragging

    const QImage shot = f.canvas.grab().toImage();
    QCOMPARE(shot.size(), QSize(400, 300));
    QCOMPARE(QColor(shot.pixel(100, 100)), QColor(Qt::white)); // inside the rectangle
    const QColor edge = shot.pixel(50, 100);
    QVERIFY2(edge.red() > 180 && edge.green() < 80, qPrintable(edge.name()));
    const QColor draftEdge = shot.pixel(250, 100);
    QVERIFY2(draftEdge.blue() > 180 && draftEdge.red() < 120, qPrintable(draftEdge.name()));
}

QTEST_MAIN(AnnotationCanvasTest)
#include "AnnotationCanvasTest.moc"
