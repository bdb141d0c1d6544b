#include <QSignalSpy>
#include <QTest>

#include "annotation/AnnotationStore.h"

using namespace ivra;

namespace {

Annotation mark() {
    return Annotation::makeDrawn(AnnotationTool::Rect, {0, 0}, {10, 10}, AnnotationColor::Red, 3,
                                 1);
}

} // namespace

class AnnotationStoreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void freshStoreHasNothingToUndo();
    void undoWalksBackOneMarkAtATime();
    void undoFirstAbandonsAnOpenTextField();
    void committingTextTrimsAndClosesTheField();
    void stepsNumberFromTheStepsStillPresent();
};

void AnnotationStoreTest::freshStoreHasNothingToUndo() {
    AnnotationStore store;
    QCOMPARE(store.currentTool(), AnnotationTool::Pencil);
    QCOMPARE(store.currentColor(), AnnotationColor::Red);
    QCOMPARE(store.currentLineWidth(), 3.0);
    QVERIFY(!store.canUndo());
    QSignalSpy changed(&store, &AnnotationStore::changed);
    store.undo();
    store.setCurrentTool(AnnotationTool::Pencil);
    QCOMPARE(changed.count(), 0);
}

void AnnotationStoreTest::undoWalksBackOneMarkAtATime() {
    AnnotationStore store;
    QSignalSpy undoable(&store, &AnnotationStore::canUndoChanged);
    const Annotation a = mark(), b = mark(), c = mark();
    store.append(a);
    store.append(b);
    store.append(c);
    QCOMPARE(undoable.count(), 1); // the toolbar's button wakes once
    store.undo();
    QCOMPARE(store.annotations(), (QList<Annotation>{a, b}));
    store.undo();
    store.undo();
    QVERIFY(store.annotations().isEmpty());
    QVERIFY(!store.canUndo());
    QCOMPARE(undoable.count(), 2);
    store.undo();
    QVERIFY(store.annotations().isEmpty());
}

void AnnotationStoreTest::undoFirstAbandonsAnOpenTextField() {
    AnnotationStore store;
    QSignalSpy undoable(&store, &AnnotationStore::canUndoChanged);
    store.openTextField({40, 50});
    QVERIFY(store.canUndo());
    QCOMPARE(undoable.count(), 1);
    store.setPendingText("abc");
    store.undo();
    QCOMPARE(store.pendingTextLocation(), std::nullopt);
    QCOMPARE(store.pendingText(), QString());
    QVERIFY(!store.canUndo());

    // With marks present the field still goes first, and only the field.
    store.append(mark());
    store.openTextField({1, 1});
    store.undo();
    QCOMPARE(store.annotations().size(), 1);
    QCOMPARE(store.pendingTextLocation(), std::nullopt);

    // No text without an open field, and a field moved elsewhere starts empty.
    store.setPendingText("typed into nothing");
    QCOMPARE(store.pendingText(), QString());
    store.openTextField({3, 4});
    store.setPendingText("first");
    store.openTextField({9, 9});
    QCOMPARE(store.pendingText(), QString());
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
    const Annotation& label = store.annotations().value(0);
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
    for (int i = 0; i < 5; ++i) {
        store.append(mark());
    }
    store.appendStep({10, 10}, 1);
    store.appendStep({20, 10}, 1);
    store.appendStep({30, 10}, 1);
    QCOMPARE(store.annotations().last().number, 3);
    store.undo();
    store.appendStep({40, 10}, 2);
    QCOMPARE(store.annotations().last().number, 3);
    QCOMPARE(store.annotations().last().lineWidth, 6.0);
}

QTEST_GUILESS_MAIN(AnnotationStoreTest)
#include "AnnotationStoreTest.moc"
