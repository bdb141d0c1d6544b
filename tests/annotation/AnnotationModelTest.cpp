#include <algorithm>

#include <QTest>

#include "annotation/AnnotationStore.h"
#include "annotation/ToolShortcut.h"
#include "keyboard/KeyPositions.h"

using namespace ivra;

namespace {

Annotation rect() {
    return Annotation::makeDrawn(AnnotationTool::Rect, {0, 0}, {10, 10}, AnnotationColor::Red, 3,
                                 1);
}

} // namespace

class AnnotationModelTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void namesAndKeysPickTools_data();
    void namesAndKeysPickTools();
    void storeUndoesFieldsMarksAndStepsAndCommitsTrimmedText();
};

void AnnotationModelTest::namesAndKeysPickTools_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("legend");
    QTest::addColumn<std::optional<AnnotationTool>>("tool");
    const auto row = [](const char* name, const char* legend, std::optional<AnnotationTool> tool) {
        QTest::newRow(name) << QString(name) << QString(legend) << tool;
    };
    // The letter printed on the key (US layout) whose position picks the tool.
    row("pencil", "P", AnnotationTool::Pencil);
    row("highlight", "H", AnnotationTool::Highlight);
    row("line", "L", AnnotationTool::Line);
    row("arrow", "A", AnnotationTool::Arrow);
    row("rect", "R", AnnotationTool::Rect);
    row("ellipse", "C", AnnotationTool::Ellipse);
    row("text", "T", AnnotationTool::Text);
    row("step", "S", AnnotationTool::Step);
    row("blur", "B", AnnotationTool::Blur);
    // O recognises text and Z undoes: neither picks a tool.
    row("o", "O", std::nullopt);
    row("z", "Z", std::nullopt);
}

void AnnotationModelTest::namesAndKeysPickTools() {
    QFETCH(QString, name);
    QFETCH(QString, legend);
    QFETCH(std::optional<AnnotationTool>, tool);
    // A tool's name is its identity: exact and case-sensitive.
    QCOMPARE(annotationToolFromRawValue(name), tool);
    QCOMPARE(tool ? rawValue(*tool) : name, name);
    QCOMPARE(annotationToolFromRawValue(name.toUpper()), std::nullopt);
    QCOMPARE(annotationToolFromRawValue(name + ' '), std::nullopt);
    const auto keys = KeyPositions::all();
    const auto key = std::find_if(keys.begin(), keys.end(), [&](const KeyPosition& k) {
        return legend == QLatin1String(k.name);
    });
    QVERIFY(key != keys.end());
    QCOMPARE(ToolShortcut::forKeyCode(key->position), tool);
}

void AnnotationModelTest::storeUndoesFieldsMarksAndStepsAndCommitsTrimmedText() {
    // A 2880-pixel image shown 1440 points wide: ratio 2.
    QCOMPARE(canvasRatio(2880, 1440), 2.0);
    QCOMPARE(canvasRatio(800, 0.25), 800.0); // a canvas never counts as under one point
    const Annotation arrow =
        Annotation::makeDrawn(AnnotationTool::Arrow, {1, 2}, {3, 4}, AnnotationColor::Blue, 3, 2);
    QCOMPARE(arrow.lineWidth, 6.0);
    QVERIFY(!arrow.id.isNull() && arrow.id != rect().id);

    AnnotationStore store;
    const Annotation a = rect(), b = rect();
    store.append(a);
    store.append(b);

    store.openTextField({1, 1});
    store.setPendingText("abc");
    store.undo(); // the field goes first, with what was typed, and only the field
    QCOMPARE(store.pendingTextLocation(), std::nullopt);
    QCOMPARE(store.pendingText(), QString());
    QCOMPARE(store.annotations(), (QList<Annotation>{a, b}));
    store.undo();
    QCOMPARE(store.annotations(), QList<Annotation>{a});
    store.undo();
    store.undo(); // nothing left: harmless
    QVERIFY(store.annotations().isEmpty() && !store.canUndo());

    store.openTextField({40, 50}); // a field alone is something to undo
    QVERIFY(store.canUndo());
    store.undo();
    QVERIFY(!store.canUndo());

    // Steps number from the steps still present: after undoing step 3 the next is 3 again.
    store.append(rect());
    for (const double x : {10, 20, 30}) {
        store.appendStep({x, 10}, 1);
    }
    store.undo();
    store.appendStep({40, 10}, 2);
    QCOMPARE(store.annotations().last().number, 3);
    QCOMPARE(store.annotations().last().lineWidth, 6.0);

    QVERIFY(!store.commitPendingText(1));
    store.setPendingText("typed into nothing"); // no text without an open field
    QCOMPARE(store.pendingText(), QString());
    store.setCurrentColor(AnnotationColor::Blue);
    store.setCurrentLineWidth(5);
    store.openTextField({3, 4});
    store.setPendingText("first");
    store.openTextField({20, 30}); // a field moved elsewhere starts empty
    QCOMPARE(store.pendingText(), QString());
    store.setPendingText(" \t\n two words \r\n");
    QVERIFY(store.commitPendingText(2));
    QCOMPARE(store.pendingTextLocation(), std::nullopt);
    const Annotation& label = store.annotations().last();
    QCOMPARE(label.text, QString("two words"));
    QCOMPARE(label.points, QList<QPointF>{QPointF(20, 30)});
    QCOMPARE(label.fontSize, 50.0);
    QCOMPARE(label.color, AnnotationColor::Blue);

    // A blank field closes without adding anything.
    store.openTextField({1, 2});
    store.setPendingText(" \t ");
    QVERIFY(!store.commitPendingText(1));
    QCOMPARE(store.pendingTextLocation(), std::nullopt);
    QCOMPARE(store.annotations().last().text, QString("two words"));
}

QTEST_GUILESS_MAIN(AnnotationModelTest)
#include "AnnotationModelTest.moc"
