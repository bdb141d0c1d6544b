#include <QLineEdit>
#include <QTest>

#include "annotation/AnnotationStore.h"
#include "editor/ui/AnnotationCanvasView.h"

using namespace ivra;

namespace {

// A canvas showing an 800 × 600 image at `widthPt` points wide (the image's aspect ratio).
struct Fixture {
    explicit Fixture(double widthPt = 400, QImage image = {})
        : baseImage(image.isNull() ? whiteImage() : image)
        , canvas(baseImage, store,
                 QSizeF(widthPt, widthPt * baseImage.height() / baseImage.width()), false) {
        canvas.show();
    }

    static QImage whiteImage() {
        QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        return image;
    }

    void press(QPointF at) { QTest::mousePress(&canvas, Qt::LeftButton, {}, at.toPoint()); }
    void move(QPointF to) { QTest::mouseMove(&canvas, to.toPoint()); }
    void release(QPointF at) { QTest::mouseRelease(&canvas, Qt::LeftButton, {}, at.toPoint()); }
    void click(QPointF at) { QTest::mouseClick(&canvas, Qt::LeftButton, {}, at.toPoint()); }
    void drag(QPointF from, QPointF to, int steps = 4) {
        press(from);
        for (int step = 1; step <= steps; ++step) {
            move(from + (to - from) * step / steps);
        }
        release(to);
    }
    void typeLabel(const QString& text) {
        QTest::keyClicks(canvas.textField(), text);
        QTest::keyClick(canvas.textField(), Qt::Key_Return);
    }

    QImage baseImage;
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
    void freehandStrokesFollowTheDragAndSurviveAClick();
    void twoPointToolsReplaceTheirEndPoint();
    void dragsThatLeaveTheCanvasArePinnedToItsEdge();
    void stepsNumberOnReleaseAndContinueAfterUndo();
    void textToolOpensAFocusedFieldOnRelease();
    void labelsAreTrimmedAndBlankLabelsDropped();
    void theClickThatClosesAFieldDoesNothingElse();
    void textFieldIsPlacedByItsCentreWithinTheCanvas_data();
    void textFieldIsPlacedByItsCentreWithinTheCanvas();
    void drawsTheImageMarksAndDraftAtTheCanvasScale();
};

void AnnotationCanvasTest::dragsAreStoredInImagePixelsWithOneRatio() {
    Fixture f(400); // 800-pixel image on a 400-point canvas: ratio 2
    f.store.setCurrentTool(AnnotationTool::Line);
    QCOMPARE(f.canvas.ratio(), 2.0);

    f.press({10, 10});
    QVERIFY(f.canvas.draft().has_value()); // a press is already a drag of length 0
    f.move({35, 10});
    f.move({60, 10});
    QCOMPARE(f.canvas.draft()->points, (QList<QPointF>{{20, 20}, {120, 20}}));
    f.release({60, 10});

    QVERIFY(!f.canvas.draft());
    QCOMPARE(f.store.annotations().size(), 1);
    const Annotation& line = f.store.annotations().first();
    QCOMPARE(line.tool, AnnotationTool::Line);
    QCOMPARE(line.points, (QList<QPointF>{{20, 20}, {120, 20}}));
    QCOMPARE(line.lineWidth, 6.0); // width 3 at ratio 2
    QCOMPARE(line.color, AnnotationColor::Red);
}

void AnnotationCanvasTest::shapesNeedThreePixelsOfMovement_data() {
    QTest::addColumn<AnnotationTool>("tool");
    QTest::addColumn<double>("canvasWidth");
    QTest::addColumn<QPointF>("movement");
    QTest::addColumn<bool>("kept");

    QTest::newRow("rect click") << AnnotationTool::Rect << 800.0 << QPointF(0, 0) << false;
    QTest::newRow("rect 2 px") << AnnotationTool::Rect << 800.0 << QPointF(2, 2) << false;
    QTest::newRow("rect 3 px right") << AnnotationTool::Rect << 800.0 << QPointF(3, 0) << true;
    QTest::newRow("rect 3 px up") << AnnotationTool::Rect << 800.0 << QPointF(0, -3) << true;
    QTest::newRow("ellipse 2 px") << AnnotationTool::Ellipse << 800.0 << QPointF(2, 0) << false;
    QTest::newRow("arrow click") << AnnotationTool::Arrow << 800.0 << QPointF(0, 0) << false;
    QTest::newRow("line 3 px") << AnnotationTool::Line << 800.0 << QPointF(0, 3) << true;
    QTest::newRow("blur 2 px") << AnnotationTool::Blur << 800.0 << QPointF(2, 2) << false;
    // Counted in image pixels: at ratio 2 one point is 2 pixels, two points are 4.
    QTest::newRow("rect 1 pt at 2x") << AnnotationTool::Rect << 400.0 << QPointF(1, 0) << false;
    QTest::newRow("rect 2 pt at 2x") << AnnotationTool::Rect << 400.0 << QPointF(2, 0) << true;
}

void AnnotationCanvasTest::shapesNeedThreePixelsOfMovement() {
    QFETCH(AnnotationTool, tool);
    QFETCH(double, canvasWidth);
    QFETCH(QPointF, movement);
    QFETCH(bool, kept);

    Fixture f(canvasWidth);
    f.store.setCurrentTool(tool);
    const QPointF start(100, 100);
    f.drag(start, start + movement, 1);

    QCOMPARE(f.store.annotations().size(), kept ? 1 : 0);
    QVERIFY(!f.canvas.draft());
    if (tool == AnnotationTool::Rect && canvasWidth == 800 && movement == QPointF(3, 0)) {
        // A 3 × 0 rectangle: both corners kept exactly.
        QCOMPARE(f.store.annotations().first().points, (QList<QPointF>{{100, 100}, {103, 100}}));
    }
}

void AnnotationCanvasTest::freehandStrokesFollowTheDragAndSurviveAClick() {
    Fixture f(800);
    f.click({50, 60});
    QCOMPARE(f.store.annotations().size(), 1);
    QCOMPARE(f.store.annotations().first().tool, AnnotationTool::Pencil);
    QCOMPARE(f.store.annotations().first().points, (QList<QPointF>{{50, 60}, {50, 60}}));

    f.store.setCurrentTool(AnnotationTool::Highlight);
    f.press({10, 10});
    f.move({20, 12});
    f.move({30, 18});
    f.move({40, 30});
    f.release({40, 30});
    QCOMPARE(f.store.annotations().size(), 2);
    const Annotation& stroke = f.store.annotations().last();
    QCOMPARE(stroke.tool, AnnotationTool::Highlight);
    QCOMPARE(stroke.points, (QList<QPointF>{{10, 10}, {10, 10}, {20, 12}, {30, 18}, {40, 30}}));
}

void AnnotationCanvasTest::twoPointToolsReplaceTheirEndPoint() {
    Fixture f(800);
    f.store.setCurrentTool(AnnotationTool::Arrow);
    f.press({10, 10});
    for (int x = 20; x <= 200; x += 30) {
        f.move({double(x), 50});
        QCOMPARE(f.canvas.draft()->points.size(), 2);
        QCOMPARE(f.canvas.draft()->points.last(), QPointF(x, 50));
    }
    f.release({200, 50});
    QCOMPARE(f.store.annotations().first().points, (QList<QPointF>{{10, 10}, {200, 50}}));
}

void AnnotationCanvasTest::dragsThatLeaveTheCanvasArePinnedToItsEdge() {
    Fixture f(400); // 400 × 300 points over 800 × 600 pixels
    f.store.setCurrentTool(AnnotationTool::Rect);
    f.drag({390, 290}, {520, 410});
    f.drag({10, 10}, {-40, -70});
    f.store.setCurrentTool(AnnotationTool::Pencil);
    f.drag({200, 150}, {200, 1000});

    QCOMPARE(f.store.annotations().size(), 3);
    QCOMPARE(f.store.annotations()[0].points, (QList<QPointF>{{780, 580}, {800, 600}}));
    QCOMPARE(f.store.annotations()[1].points, (QList<QPointF>{{20, 20}, {0, 0}}));
    for (const QPointF& point : f.store.annotations()[2].points) {
        QVERIFY2(point.y() <= 600, qPrintable(QString::number(point.y())));
    }
    QCOMPARE(f.store.annotations()[2].points.last(), QPointF(400, 600));
    QCOMPARE(f.canvas.pixelPoint({-5, 500}), QPointF(0, 600));
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

    const auto numbers = [&] {
        QList<int> result;
        for (const Annotation& annotation : f.store.annotations()) {
            result.append(annotation.number);
        }
        return result;
    };
    QCOMPARE(numbers(), (QList<int>{1, 2, 3}));
    QCOMPARE(f.store.annotations().first().points, QList<QPointF>{QPointF(100, 100)});
    QCOMPARE(f.store.annotations().first().lineWidth, 6.0);

    f.store.undo();
    f.click({200, 100});
    QCOMPARE(numbers(), (QList<int>{1, 2, 3}));
    QCOMPARE(f.store.annotations().last().points, QList<QPointF>{QPointF(400, 200)});
}

void AnnotationCanvasTest::textToolOpensAFocusedFieldOnRelease() {
    Fixture f(400);
    QVERIFY(QTest::qWaitForWindowActive(&f.canvas));
    f.store.setCurrentTool(AnnotationTool::Text);
    QLineEdit* field = f.canvas.textField();
    QVERIFY(field->isHidden());

    f.press({30, 40});
    QVERIFY(!f.store.pendingTextLocation()); // opens on release, where the mouse is let go
    f.release({60, 80});
    QCOMPARE(f.store.pendingTextLocation(), QPointF(120, 160));
    QVERIFY(field->isVisible());
    QVERIFY(field->hasFocus());
    QCOMPARE(field->placeholderText(), QStringLiteral("Text"));
    QCOMPARE(field->width(), 200);
    QCOMPARE(field->font().pixelSize(), 14);

    // Typing goes to the store; undo abandons the field without a label.
    QTest::keyClicks(field, QStringLiteral("abc"));
    QCOMPARE(f.store.pendingText(), QStringLiteral("abc"));
    f.store.undo();
    QVERIFY(field->isHidden());
    QVERIFY(field->text().isEmpty());
    QVERIFY(f.store.annotations().isEmpty());
}

void AnnotationCanvasTest::labelsAreTrimmedAndBlankLabelsDropped() {
    Fixture f(400);
    f.store.setCurrentTool(AnnotationTool::Text);
    f.store.setCurrentColor(AnnotationColor::Blue);

    f.click({10, 20});
    f.typeLabel(QStringLiteral("   hello world \t "));
    QVERIFY(!f.store.pendingTextLocation());
    QCOMPARE(f.store.annotations().size(), 1);
    const Annotation& label = f.store.annotations().first();
    QCOMPARE(label.tool, AnnotationTool::Text);
    QCOMPARE(label.text, QStringLiteral("hello world"));
    QCOMPARE(label.points, QList<QPointF>{QPointF(20, 40)});
    QCOMPARE(label.fontSize, 30.0); // width 3 × 5 × ratio 2
    QCOMPARE(label.color, AnnotationColor::Blue);

    f.click({100, 100});
    f.typeLabel(QString());
    f.click({100, 100});
    f.typeLabel(QStringLiteral("    "));
    QVERIFY(!f.store.pendingTextLocation());
    QVERIFY(f.canvas.textField()->isHidden());
    QCOMPARE(f.store.annotations().size(), 1);
}

void AnnotationCanvasTest::theClickThatClosesAFieldDoesNothingElse() {
    Fixture f(400);
    f.store.setCurrentTool(AnnotationTool::Text);
    f.click({10, 10});
    QTest::keyClicks(f.canvas.textField(), QStringLiteral("first"));

    // Another click with the text tool commits the label and opens no new field.
    f.click({200, 200});
    QVERIFY(!f.store.pendingTextLocation());
    QCOMPARE(f.store.annotations().size(), 1);
    QCOMPARE(f.store.annotations().last().text, QStringLiteral("first"));

    // A drag with the pencil draws nothing while a field is open; its release commits.
    f.click({10, 100});
    QTest::keyClicks(f.canvas.textField(), QStringLiteral("second"));
    f.store.setCurrentTool(AnnotationTool::Pencil);
    f.press({50, 50});
    f.move({90, 90});
    QVERIFY(!f.canvas.draft());
    f.release({90, 90});
    QCOMPARE(f.store.annotations().size(), 2);
    QCOMPARE(f.store.annotations().last().text, QStringLiteral("second"));

    // With the step tool, the closing click places no badge.
    f.store.setCurrentTool(AnnotationTool::Text);
    f.click({10, 150});
    f.store.setCurrentTool(AnnotationTool::Step);
    f.click({300, 150});
    QCOMPARE(f.store.annotations().size(), 2);
    QCOMPARE(f.store.stepCount(), 0);
}

void AnnotationCanvasTest::textFieldIsPlacedByItsCentreWithinTheCanvas_data() {
    QTest::addColumn<QPointF>("click");
    QTest::addColumn<QPointF>("centre");

    // Canvas 400 × 300 points: left edge at the click, vertically centred on it.
    QTest::newRow("middle") << QPointF(100, 150) << QPointF(200, 150);
    QTest::newRow("right edge") << QPointF(400, 150) << QPointF(400 - 104, 150);
    // (QTest reads a click at (0, 0) as "the widget's centre", so the corner is one point in.)
    QTest::newRow("top-left corner") << QPointF(1, 1) << QPointF(104, 18);
    QTest::newRow("bottom edge") << QPointF(50, 300) << QPointF(150, 300 - 18);
}

void AnnotationCanvasTest::textFieldIsPlacedByItsCentreWithinTheCanvas() {
    QFETCH(QPointF, click);
    QFETCH(QPointF, centre);

    Fixture f(400);
    f.store.setCurrentTool(AnnotationTool::Text);
    f.click(click);
    const QRectF field = f.canvas.textField()->geometry();
    QVERIFY2(std::abs(field.center().x() + 0.5 - centre.x()) <= 1,
             qPrintable(QString::number(field.center().x())));
    QVERIFY2(std::abs(field.center().y() + 0.5 - centre.y()) <= 1,
             qPrintable(QString::number(field.center().y())));
}

void AnnotationCanvasTest::drawsTheImageMarksAndDraftAtTheCanvasScale() {
    Fixture f(400);
    f.store.setCurrentTool(AnnotationTool::Rect);
    f.store.setCurrentLineWidth(8);
    f.drag({50, 50}, {150, 150}); // a rectangle 16 image pixels = 8 points wide
    f.store.setCurrentColor(AnnotationColor::Blue);
    f.press({250, 50});
    f.move({350, 150}); // still dragging

    const QImage shot = f.canvas.grab().toImage();
    QCOMPARE(shot.size(), QSize(400, 300));
    QCOMPARE(QColor(shot.pixel(10, 250)), QColor(Qt::white));
    const QColor edge = shot.pixel(50, 100);
    QVERIFY2(edge.red() > 180 && edge.green() < 80, qPrintable(edge.name()));
    QCOMPARE(QColor(shot.pixel(100, 100)), QColor(Qt::white)); // the rectangle is not filled
    const QColor draftEdge = shot.pixel(250, 100);
    QVERIFY2(draftEdge.blue() > 180 && draftEdge.red() < 120, qPrintable(draftEdge.name()));
    f.release({350, 150});
}

QTEST_MAIN(AnnotationCanvasTest)
#include "AnnotationCanvasTest.moc"
