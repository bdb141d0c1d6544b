#include <QSignalSpy>
#include <QTest>

#include "annotation/AnnotationStore.h"

using namespace ivra;

namespace {

Annotation mark(AnnotationTool tool = AnnotationTool::Rect) {
    return Annotation::makeDrawn(tool, {0, 0}, {10, 10}, AnnotationColor::Red, 3, 1);
}

} // namespace

class AnnotationStoreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void freshStoreStartsFromTheDefaultsAndCannotUndo();
    void undoWalksBackOneMarkAtATime();
    void undoFirstAbandonsAnOpenTextField();
    void closedTextFieldNeverHoldsText();
    void committingTextTrimsAndClosesTheField();
    void stepsNumberFromTheStepsStillPresent();
    void draftsTakeTheCurrentChoices();
    void signalsFireOnRealChangesOnly();
    void propertiesAreReachableThroughTheMetaObject();
};

void AnnotationStoreTest::freshStoreStartsFromTheDefaultsAndCannotUndo() {
    AnnotationStore store;
    QVERIFY(store.annotations().isEmpty());
    QCOMPARE(store.currentTool(), AnnotationTool::Pencil);
    QCOMPARE(store.currentColor(), AnnotationColor::Red);
    QCOMPARE(store.currentLineWidth(), 3.0);
    QCOMPARE(store.pendingTextLocation(), std::nullopt);
    QCOMPARE(store.pendingText(), QString());
    QVERIFY(!store.canUndo());

    QSignalSpy changed(&store, &AnnotationStore::changed);
    store.undo();
    QCOMPARE(changed.count(), 0);
    QVERIFY(store.annotations().isEmpty());
}

void AnnotationStoreTest::undoWalksBackOneMarkAtATime() {
    AnnotationStore store;
    const Annotation a = mark(), b = mark(AnnotationTool::Line), c = mark(AnnotationTool::Blur);
    store.append(a);
    store.append(b);
    store.append(c);
    QVERIFY(store.canUndo());

    store.undo();
    QCOMPARE(store.annotations(), (QList<Annotation>{a, b}));
    store.undo();
    QCOMPARE(store.annotations(), QList<Annotation>{a});
    store.undo();
    QVERIFY(store.annotations().isEmpty());
    QVERIFY(!store.canUndo());
    store.undo();
    QVERIFY(store.annotations().isEmpty());
}

void AnnotationStoreTest::undoFirstAbandonsAnOpenTextField() {
    AnnotationStore store;
    store.openTextField({40, 50});
    store.setPendingText("abc");
    QVERIFY(store.canUndo());
    store.undo();
    QCOMPARE(store.pendingTextLocation(), std::nullopt);
    QCOMPARE(store.pendingText(), QString());
    QVERIFY(store.annotations().isEmpty());
    QVERIFY(!store.canUndo());

    // With marks present the field still goes first, and only the field.
    store.append(mark());
    store.openTextField({1, 1});
    store.setPendingText("x");
    store.undo();
    QCOMPARE(store.annotations().size(), 1);
    QCOMPARE(store.pendingTextLocation(), std::nullopt);
}

void AnnotationStoreTest::closedTextFieldNeverHoldsText() {
    AnnotationStore store;
    store.setPendingText("typed into nothing");
    QCOMPARE(store.pendingText(), QString());

    store.openTextField({3, 4});
    store.setPendingText("hello");
    store.setPendingTextLocation(std::nullopt);
    QCOMPARE(store.pendingText(), QString());

    // Reopening starts empty, even when moved to a new place without closing.
    store.openTextField({3, 4});
    store.setPendingText("first");
    store.openTextField({9, 9});
    QCOMPARE(store.pendingText(), QString());
    QCOMPARE(store.pendingTextLocation(), std::optional(QPointF(9, 9)));
}

void AnnotationStoreTest::committingTextTrimsAndClosesTheField() {
    AnnotationStore store;
    QVERIFY(!store.commitPendingText(1));

    store.setCurrentColor(AnnotationColor::Blue);
    store.setCurrentLineWidth(5);
    store.openTextField({20, 30});
    store.setPendingText("  word \n");
    QVERIFY(store.commitPendingText(2));
    QCOMPARE(store.pendingTextLocation(), std::nullopt);
    QCOMPARE(store.annotations().size(), 1);
    const Annotation& label = store.annotations().first();
    QCOMPARE(label.tool, AnnotationTool::Text);
    QCOMPARE(label.text, QString("word"));
    QCOMPARE(label.points, QList<QPointF>{QPointF(20, 30)});
    QCOMPARE(label.fontSize, 50.0);
    QCOMPARE(label.color, AnnotationColor::Blue);

    // A blank field closes without adding anything.
    store.openTextField({1, 2});
    store.setPendingText(" \t ");
    QVERIFY(!store.commitPendingText(1));
    QCOMPARE(store.pendingTextLocation(), std::nullopt);
    QCOMPARE(store.annotations().size(), 1);
}

void AnnotationStoreTest::stepsNumberFromTheStepsStillPresent() {
    AnnotationStore store;
    store.setCurrentTool(AnnotationTool::Step);
    for (int i = 0; i < 5; ++i) {
        store.append(mark());
    }
    store.appendStep({10, 10}, 1);
    store.appendStep({20, 10}, 1);
    store.appendStep({30, 10}, 1);
    QCOMPARE(store.annotations().last().number, 3);
    QCOMPARE(store.stepCount(), 3);

    store.undo();
    store.appendStep({40, 10}, 2);
    QCOMPARE(store.annotations().last().number, 3);
    QCOMPARE(store.annotations().last().lineWidth, 6.0);
    QCOMPARE(store.annotations().last().points, QList<QPointF>{QPointF(40, 10)});
}

void AnnotationStoreTest::draftsTakeTheCurrentChoices() {
    AnnotationStore store;
    store.setCurrentTool(AnnotationTool::Ellipse);
    store.setCurrentColor(AnnotationColor::Yellow);
    store.setCurrentLineWidth(8);
    const Annotation draft = store.makeDraft({1, 1}, {5, 7}, 0.5);
    QCOMPARE(draft.tool, AnnotationTool::Ellipse);
    QCOMPARE(draft.color, AnnotationColor::Yellow);
    QCOMPARE(draft.lineWidth, 4.0);
    QCOMPARE(draft.points, (QList<QPointF>{{1, 1}, {5, 7}}));
    QVERIFY(store.annotations().isEmpty()); // a draft is not part of the list
}

void AnnotationStoreTest::signalsFireOnRealChangesOnly() {
    AnnotationStore store;
    QSignalSpy tool(&store, &AnnotationStore::currentToolChanged);
    QSignalSpy undoable(&store, &AnnotationStore::canUndoChanged);
    QSignalSpy list(&store, &AnnotationStore::annotationsChanged);
    QSignalSpy location(&store, &AnnotationStore::pendingTextLocationChanged);
    QSignalSpy text(&store, &AnnotationStore::pendingTextChanged);
    QSignalSpy changed(&store, &AnnotationStore::changed);

    store.setCurrentTool(AnnotationTool::Pencil);
    QCOMPARE(tool.count(), 0);
    store.setCurrentTool(AnnotationTool::Blur);
    QCOMPARE(tool.count(), 1);

    store.append(mark());
    QCOMPARE(list.count(), 1);
    QCOMPARE(undoable.count(), 1); // false → true
    store.append(mark());
    QCOMPARE(undoable.count(), 1); // still true
    store.undo();
    store.undo();
    QCOMPARE(list.count(), 4);
    QCOMPARE(undoable.count(), 2); // true → false

    // Opening a field makes undo possible: the toolbar's button must wake up.
    store.openTextField({1, 1});
    QCOMPARE(location.count(), 1);
    QCOMPARE(undoable.count(), 3);
    store.setPendingText("a");
    store.undo();
    QCOMPARE(text.count(), 2);
    QCOMPARE(location.count(), 2);
    QCOMPARE(undoable.count(), 4);
    QCOMPARE(changed.count(), 8);
}

void AnnotationStoreTest::propertiesAreReachableThroughTheMetaObject() {
    AnnotationStore store;
    QVERIFY(store.setProperty("currentLineWidth", 5.0));
    QCOMPARE(store.currentLineWidth(), 5.0);
    QVERIFY(store.setProperty("currentTool", QVariant::fromValue(AnnotationTool::Arrow)));
    QCOMPARE(store.currentTool(), AnnotationTool::Arrow);
    store.append(mark());
    QCOMPARE(store.property("canUndo").toBool(), true);
    QCOMPARE(store.property("annotations").value<QList<Annotation>>().size(), 1);
}

QTEST_GUILESS_MAIN(AnnotationStoreTest)
#include "AnnotationStoreTest.moc"
