#include <QSet>
#include <QTest>

#include "annotation/Annotation.h"
#include "annotation/ToolShortcut.h"

using namespace ivra;

class AnnotationModelTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rawValuesRoundTripAndNothingElseNamesATool();
    void keyCodesAndCharactersPickTools_data();
    void keyCodesAndCharactersPickTools();
    void shortcutTablesHoldExactlyTheToolKeys();
    void paletteEntriesAreDistinctColours();
    void newMarksTakeWidthsInImagePixels();
    void textLabelsAreTrimmedAndNeverEmpty();
    void canvasRatioNeverDividesByLessThanOnePoint();
};

void AnnotationModelTest::rawValuesRoundTripAndNothingElseNamesATool() {
    const QStringList expected{"pencil",  "highlight", "line", "arrow", "rect",
                               "ellipse", "text",      "step", "blur"};
    QCOMPARE(kAllAnnotationTools.size(), size_t(9));
    for (size_t i = 0; i < kAllAnnotationTools.size(); ++i) {
        const AnnotationTool tool = kAllAnnotationTools[i];
        QCOMPARE(rawValue(tool), expected[int(i)]);
        QCOMPARE(annotationToolFromRawValue(rawValue(tool)), std::optional(tool));
    }
    QCOMPARE(annotationToolFromRawValue(u"Pencil"), std::nullopt);
    QCOMPARE(annotationToolFromRawValue(u"BLUR"), std::nullopt);
    QCOMPARE(annotationToolFromRawValue(u""), std::nullopt);
    QCOMPARE(annotationToolFromRawValue(u"pencil "), std::nullopt);
}

void AnnotationModelTest::keyCodesAndCharactersPickTools_data() {
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<QString>("latin");
    QTest::addColumn<QString>("ukrainian");
    QTest::addColumn<AnnotationTool>("tool");
    QTest::newRow("pencil") << 35 << "p" << QString(u'\u0437') << AnnotationTool::Pencil;
    QTest::newRow("highlight") << 4 << "h" << QString(u'\u0440') << AnnotationTool::Highlight;
    QTest::newRow("line") << 37 << "l" << QString(u'\u0434') << AnnotationTool::Line;
    QTest::newRow("arrow") << 0 << "a" << QString(u'\u0444') << AnnotationTool::Arrow;
    QTest::newRow("rect") << 15 << "r" << QString(u'\u043A') << AnnotationTool::Rect;
    QTest::newRow("ellipse") << 8 << "c" << QString(u'\u0441') << AnnotationTool::Ellipse;
    QTest::newRow("text") << 17 << "t" << QString(u'\u0435') << AnnotationTool::Text;
    QTest::newRow("step") << 1 << "s" << QString(u'\u0456') << AnnotationTool::Step;
    QTest::newRow("blur") << 11 << "b" << QString(u'\u0438') << AnnotationTool::Blur;
}

void AnnotationModelTest::keyCodesAndCharactersPickTools() {
    QFETCH(int, keyCode);
    QFETCH(QString, latin);
    QFETCH(QString, ukrainian);
    QFETCH(AnnotationTool, tool);
    QCOMPARE(ToolShortcut::forKeyCode(quint16(keyCode)), std::optional(tool));
    QCOMPARE(ToolShortcut::forCharacter(latin.at(0)), std::optional(tool));
    QCOMPARE(ToolShortcut::forCharacter(ukrainian.at(0)), std::optional(tool));
    // Upper case is the caller's business to fold.
    QCOMPARE(ToolShortcut::forCharacter(latin.at(0).toUpper()), std::nullopt);
    QCOMPARE(ToolShortcut::forCharacter(latin.at(0).toUpper().toLower()), std::optional(tool));
}

void AnnotationModelTest::shortcutTablesHoldExactlyTheToolKeys() {
    QCOMPARE(ToolShortcut::keyCodeMap().size(), 9);
    QCOMPARE(ToolShortcut::characterMap().size(), 18);
    QCOMPARE(ToolShortcut::forKeyCode(31), std::nullopt); // O starts text recognition
    QCOMPARE(ToolShortcut::forKeyCode(6), std::nullopt);  // Z
    QCOMPARE(ToolShortcut::forCharacter(u'o'), std::nullopt);
    QCOMPARE(ToolShortcut::forCharacter(u'\u0449'), std::nullopt);
    // The Cyrillic "с" picks the ellipse; the Latin "c" does too, but they are two entries.
    QVERIFY(QChar(u'\u0441') != QChar(u'c'));
    QSet<AnnotationTool> reached;
    for (const AnnotationTool tool : ToolShortcut::keyCodeMap()) {
        reached.insert(tool);
    }
    QCOMPARE(reached.size(), 9);
}

void AnnotationModelTest::paletteEntriesAreDistinctColours() {
    QSet<QRgb> values;
    for (const AnnotationColor color : kPalette) {
        const QColor rgb = toQColor(color);
        QCOMPARE(rgb.alpha(), 255);
        values.insert(rgb.rgb());
    }
    QCOMPARE(values.size(), 7);
    QCOMPARE(toQColor(AnnotationColor::White), QColor(Qt::white));
    QCOMPARE(toQColor(AnnotationColor::Black), QColor(Qt::black));
    QCOMPARE(kPalette.front(), kDefaultAnnotationColor);
}

void AnnotationModelTest::newMarksTakeWidthsInImagePixels() {
    // A 2880-pixel image shown 1440 points wide.
    const double ratio = canvasRatio(2880, 1440);
    QCOMPARE(ratio, 2.0);

    const Annotation line = Annotation::makeDrawn(AnnotationTool::Arrow, {1, 2}, {3, 4},
                                                  AnnotationColor::Blue, 3, ratio);
    QCOMPARE(line.tool, AnnotationTool::Arrow);
    QCOMPARE(line.points, (QList<QPointF>{{1, 2}, {3, 4}}));
    QCOMPARE(line.lineWidth, 6.0);
    QCOMPARE(line.fontSize, 0.0);
    QCOMPARE(line.number, 0);
    QVERIFY(line.text.isEmpty());
    QCOMPARE(line.color, AnnotationColor::Blue);

    const auto label = Annotation::makeText({5, 6}, "hi", AnnotationColor::Red, 3, ratio);
    QVERIFY(label);
    QCOMPARE(label->fontSize, 30.0);
    QCOMPARE(label->lineWidth, 0.0);
    QCOMPARE(label->points, QList<QPointF>{QPointF(5, 6)});

    const Annotation step = Annotation::makeStep({7, 8}, 3, AnnotationColor::Green, 5, 1);
    QCOMPARE(step.number, 3);
    QCOMPARE(step.lineWidth, 5.0);
    QCOMPARE(step.fontSize, 0.0);

    // Every mark is its own identity.
    QVERIFY(!line.id.isNull());
    QVERIFY(line.id != step.id);
}

void AnnotationModelTest::textLabelsAreTrimmedAndNeverEmpty() {
    const auto label =
        Annotation::makeText({0, 0}, " \t\n two words \r\n", AnnotationColor::Red, 2, 1);
    QVERIFY(label);
    QCOMPARE(label->text, QString("two words"));
    QCOMPARE(label->fontSize, 10.0);
    QCOMPARE(Annotation::makeText({0, 0}, "", AnnotationColor::Red, 2, 1), std::nullopt);
    QCOMPARE(Annotation::makeText({0, 0}, " \n\t ", AnnotationColor::Red, 2, 1), std::nullopt);
}

void AnnotationModelTest::canvasRatioNeverDividesByLessThanOnePoint() {
    QCOMPARE(canvasRatio(800, 400), 2.0);
    QCOMPARE(canvasRatio(800, 0), 800.0);
    QCOMPARE(canvasRatio(800, 0.25), 800.0);
}

QTEST_GUILESS_MAIN(AnnotationModelTest)
#include "AnnotationModelTest.moc"
