#include <QTest>

#include "annotation/AnnotationStore.h"
#include "annotation/ToolShortcut.h"

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
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<QChar>("latin");
    QTest::addColumn<QChar>("ukrainian");
    QTest::addColumn<std::optional<AnnotationTool>>("tool");
    const auto row = [](const char* name, int keyCode, char16_t latin, char16_t ukrainian,
                        std::optional<AnnotationTool> tool) {
        QTest::newRow(name) << QString(name) << keyCode << QChar(latin) << QChar(ukrainian) << tool;
    };
    row("pencil", 35, u'p', u'\u0437', AnnotationTool::Pencil);
    row("highlight", 4, u'h', u'\u0440', AnnotationTool::Highlight);
    row("line", 37, u'l', u'\u0434', AnnotationTool::Line);
    row("arrow", 0, u'a', u'\u0444', AnnotationTool::Arrow);
    row("rect", 15, u'r', u'\u043A', AnnotationTool::Rect);
    row("ellipse", 8, u'c', u'\u0441', AnnotationTool::Ellipse);
    row("text", 17, u't', u'\u0435', AnnotationTool::Text);
    row("step", 1, u's', u'\u0456', AnnotationTool::Step);
    row("blur", 11, u'b', u'\u0438', AnnotationTool::Blur);
    // O recognises text and Z undoes: neither picks a tool.
    row("o", 31, u'o', u'\u0449', std::nullopt);
    row("z", 6, u'z', u'\u044F', std::nullopt);
}

void AnnotationModelTest::namesAndKeysPickTools() {
    QFETCH(QString, name);
    QFETCH(int, keyCode);
    QFETCH(QChar, latin);
    QFETCH(QChar, ukrainian);
    QFETCH(std::optional<AnnotationTool>, tool);
    // A tool's name is its identity: exact and case-sensitive.
    QCOMPARE(annotationToolFromRawValue(name), tool);
    QCOMPARE(tool ? rawValue(*tool) : name, name);
    QCOMPARE(annotationToolFromRawValue(name.toUpper()), std::nullopt);
    QCOMPARE(annotationToolFromRawValue(name + ' '), std::nullopt);
    QCOMPARE(ToolShortcut::forKeyCode(quint16(keyCode)), tool);
    QCOMPARE(ToolShortcut::forCharacter(latin), tool);
    QCOMPARE(ToolShortcut::forCharacter(ukrainian), tool);
    QCOMPARE(ToolShortcut::forCharacter(latin.toUpper()), std::nullopt); // the caller folds case
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
