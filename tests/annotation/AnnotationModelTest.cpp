#include <QTest>

#include "annotation/Annotation.h"
#include "annotation/ToolShortcut.h"

using namespace ivra;

class AnnotationModelTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rawValuesRoundTripAndNothingElseNamesATool();
    void keysPickTools_data();
    void keysPickTools();
    void otherKeysPickNothing();
    void newMarksTakeSizesInImagePixels();
};

void AnnotationModelTest::rawValuesRoundTripAndNothingElseNamesATool() {
    const QStringList expected{"pencil",  "highlight", "line", "arrow", "rect",
                               "ellipse", "text",      "step", "blur"};
    for (size_t i = 0; i < kAllAnnotationTools.size(); ++i) {
        QCOMPARE(rawValue(kAllAnnotationTools[i]), expected[int(i)]);
        QCOMPARE(annotationToolFromRawValue(expected[int(i)]),
                 std::optional(kAllAnnotationTools[i]));
    }
    for (const QString raw : {"Pencil", "BLUR", "", "pencil "}) {
        QCOMPARE(annotationToolFromRawValue(raw), std::nullopt);
    }
}

void AnnotationModelTest::keysPickTools_data() {
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<QChar>("latin");
    QTest::addColumn<QChar>("ukrainian");
    QTest::addColumn<AnnotationTool>("tool");
    QTest::newRow("pencil") << 35 << QChar(u'p') << QChar(u'\u0437') << AnnotationTool::Pencil;
    QTest::newRow("highlight") << 4 << QChar(u'h') << QChar(u'\u0440') << AnnotationTool::Highlight;
    QTest::newRow("line") << 37 << QChar(u'l') << QChar(u'\u0434') << AnnotationTool::Line;
    QTest::newRow("arrow") << 0 << QChar(u'a') << QChar(u'\u0444') << AnnotationTool::Arrow;
    QTest::newRow("rect") << 15 << QChar(u'r') << QChar(u'\u043A') << AnnotationTool::Rect;
    QTest::newRow("ellipse") << 8 << QChar(u'c') << QChar(u'\u0441') << AnnotationTool::Ellipse;
    QTest::newRow("text") << 17 << QChar(u't') << QChar(u'\u0435') << AnnotationTool::Text;
    QTest::newRow("step") << 1 << QChar(u's') << QChar(u'\u0456') << AnnotationTool::Step;
    QTest::newRow("blur") << 11 << QChar(u'b') << QChar(u'\u0438') << AnnotationTool::Blur;
}

void AnnotationModelTest::keysPickTools() {
    QFETCH(int, keyCode);
    QFETCH(QChar, latin);
    QFETCH(QChar, ukrainian);
    QFETCH(AnnotationTool, tool);
    QCOMPARE(ToolShortcut::forKeyCode(quint16(keyCode)), std::optional(tool));
    QCOMPARE(ToolShortcut::forCharacter(latin), std::optional(tool));
    QCOMPARE(ToolShortcut::forCharacter(ukrainian), std::optional(tool));
    // Upper case is the caller's to fold.
    QCOMPARE(ToolShortcut::forCharacter(latin.toUpper()), std::nullopt);
}

void AnnotationModelTest::otherKeysPickNothing() {
    QCOMPARE(ToolShortcut::keyCodeMap().size(), 9);
    QCOMPARE(ToolShortcut::characterMap().size(), 18);
    QCOMPARE(ToolShortcut::forKeyCode(31), std::nullopt); // O: text recognition
    QCOMPARE(ToolShortcut::forKeyCode(6), std::nullopt);  // Z: undo with the modifier
    QCOMPARE(ToolShortcut::forCharacter(u'o'), std::nullopt);
    QCOMPARE(ToolShortcut::forCharacter(u'\u0449'), std::nullopt);
}

void AnnotationModelTest::newMarksTakeSizesInImagePixels() {
    // A 2880-pixel image shown 1440 points wide: ratio 2.
    const double ratio = canvasRatio(2880, 1440);
    QCOMPARE(ratio, 2.0);
    QCOMPARE(canvasRatio(800, 0.25), 800.0); // a canvas never counts as under one point

    const Annotation arrow = Annotation::makeDrawn(AnnotationTool::Arrow, {1, 2}, {3, 4},
                                                   AnnotationColor::Blue, 3, ratio);
    QCOMPARE(arrow.points, (QList<QPointF>{{1, 2}, {3, 4}}));
    QCOMPARE(arrow.lineWidth, 6.0);
    QCOMPARE(arrow.fontSize, 0.0);
    QCOMPARE(arrow.number, 0);

    const auto label =
        Annotation::makeText({5, 6}, " \t\n two words \r\n", AnnotationColor::Red, 3, ratio);
    QVERIFY(label);
    QCOMPARE(label->text, QString("two words"));
    QCOMPARE(label->fontSize, 30.0);
    QCOMPARE(label->lineWidth, 0.0);
    QCOMPARE(Annotation::makeText({0, 0}, " \n\t ", AnnotationColor::Red, 2, 1), std::nullopt);

    const Annotation step = Annotation::makeStep({7, 8}, 3, AnnotationColor::Green, 5, 1);
    QCOMPARE(step.number, 3);
    QCOMPARE(step.lineWidth, 5.0);
    QVERIFY(!arrow.id.isNull() && arrow.id != step.id);
}

QTEST_GUILESS_MAIN(AnnotationModelTest)
#include "AnnotationModelTest.moc"
