#include <QAbstractButton>
#include <QTest>
#include <QVBoxLayout>

#include "annotation/AnnotationStore.h"
#include "editor/SymbolIcon.h"
#include "editor/ui/AnnotationToolbar.h"

using namespace ivra;

namespace {

struct Calls {
    int copy = 0, ocr = 0, save = 0, removeBackground = 0, done = 0, cancel = 0;
};

AnnotationToolbarActions requiredOnly(Calls& calls) {
    AnnotationToolbarActions actions;
    actions.onCopy = [&calls] { ++calls.copy; };
    actions.onOCR = [&calls] { ++calls.ocr; };
    return actions;
}

AnnotationToolbarActions everything(Calls& calls) {
    AnnotationToolbarActions actions = requiredOnly(calls);
    actions.onSave = [&calls] { ++calls.save; };
    actions.onRemoveBackground = [&calls] { ++calls.removeBackground; };
    actions.onDone = [&calls] { ++calls.done; };
    actions.onCancel = [&calls] { ++calls.cancel; };
    return actions;
}

QAbstractButton* button(const QWidget& toolbar, const QString& name) {
    return toolbar.findChild<QAbstractButton*>(name);
}

// The toolbar in a window with another focusable widget, as hosts have it.
struct Window {
    explicit Window(AnnotationStore& store, AnnotationToolbarActions actions) {
        auto* layout = new QVBoxLayout(&window);
        toolbar = new AnnotationToolbar(store, std::move(actions));
        other = new QWidget;
        other->setFocusPolicy(Qt::StrongFocus);
        other->setMinimumSize(200, 100);
        layout->addWidget(toolbar);
        layout->addWidget(other);
        window.show();
        window.activateWindow();
    }
    QWidget window;
    AnnotationToolbar* toolbar = nullptr;
    QWidget* other = nullptr;
};

} // namespace

class AnnotationToolbarTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void optionalButtonsAppearOnlyWithTheirActions();
    void controlsComeInOrderWithLinuxShortcutTexts();
    void buttonsWriteTheStoreAndShowTheCurrentChoice();
    void undoIsEnabledExactlyWhenTheStoreCanUndo();
    void shortcutsWorkAnywhereInTheWindow();
    void actionButtonsCallTheHost();
    void everySymbolIsDrawnInItsColour();
};

void AnnotationToolbarTest::optionalButtonsAppearOnlyWithTheirActions() {
    AnnotationStore store;
    Calls calls;
    AnnotationToolbar minimal(store, requiredOnly(calls));
    for (const auto& name : {"undo", "recognize", "copy"}) {
        QVERIFY2(button(minimal, name), name);
    }
    for (const auto& name : {"save", "removeBackground", "done", "cancel"}) {
        QVERIFY2(!button(minimal, name), name);
    }
    // 9 tools, 7 swatches, 4 widths, undo, recognise, copy.
    QCOMPARE(minimal.findChildren<QAbstractButton*>().size(), 9 + 7 + 4 + 3);

    AnnotationToolbar full(store, everything(calls));
    for (const auto& name : {"save", "removeBackground", "done", "cancel"}) {
        QVERIFY2(button(full, name), name);
    }
    QCOMPARE(full.findChildren<QAbstractButton*>().size(), 9 + 7 + 4 + 7);
}

void AnnotationToolbarTest::controlsComeInOrderWithLinuxShortcutTexts() {
    AnnotationStore store;
    Calls calls;
    AnnotationToolbar toolbar(store, everything(calls));
    toolbar.adjustSize();

    QStringList order;
    for (const AnnotationTool tool : kAllAnnotationTools) {
        order << QStringLiteral("tool.") + rawValue(tool);
    }
    order << "color.red"
          << "color.orange"
          << "color.yellow"
          << "color.green"
          << "color.blue"
          << "color.white"
          << "color.black"
          << "width.2"
          << "width.3"
          << "width.5"
          << "width.8"
          << "undo"
          << "removeBackground"
          << "recognize"
          << "copy"
          << "save"
          << "done"
          << "cancel";
    int previousRight = -1;
    for (const QString& name : order) {
        QAbstractButton* control = button(toolbar, name);
        QVERIFY2(control, qPrintable(name));
        QVERIFY2(control->x() > previousRight, qPrintable(name));
        previousRight = control->geometry().right();
    }
    QCOMPARE(button(toolbar, "tool.pencil")->size(), QSize(26, 24));
    QCOMPARE(button(toolbar, "width.2")->size(), QSize(20, 24));
    QCOMPARE(button(toolbar, "cancel")->size(), QSize(24, 24));

    QCOMPARE(button(toolbar, "tool.pencil")->toolTip(), QStringLiteral("Pencil (P)"));
    QCOMPARE(button(toolbar, "tool.ellipse")->toolTip(), QStringLiteral("Circle (C)"));
    QCOMPARE(button(toolbar, "tool.step")->toolTip(),
             QStringLiteral("Numbered step — each click adds 1, 2, 3… (S)"));
    QCOMPARE(button(toolbar, "width.5")->toolTip(), QStringLiteral("Line thickness"));
    QVERIFY(button(toolbar, "color.red")->toolTip().isEmpty());
    QCOMPARE(button(toolbar, "undo")->toolTip(), QStringLiteral("Undo (Ctrl+Z)"));
    QCOMPARE(button(toolbar, "copy")->toolTip(), QStringLiteral("Copy image (Ctrl+C)"));
    QCOMPARE(button(toolbar, "save")->toolTip(), QStringLiteral("Save as… (Ctrl+S)"));
    QCOMPARE(button(toolbar, "recognize")->toolTip(), QStringLiteral("Copy recognized text (OCR)"));
    QCOMPARE(button(toolbar, "done")->toolTip(), QStringLiteral("Pin to the right side (Enter)"));
    QCOMPARE(button(toolbar, "cancel")->toolTip(), QStringLiteral("Cancel (Esc)"));
}

void AnnotationToolbarTest::buttonsWriteTheStoreAndShowTheCurrentChoice() {
    AnnotationStore store;
    Calls calls;
    AnnotationToolbar toolbar(store, requiredOnly(calls));
    toolbar.show();
    QVERIFY(button(toolbar, "tool.pencil")->isChecked());
    QVERIFY(button(toolbar, "color.red")->isChecked());
    QVERIFY(button(toolbar, "width.3")->isChecked());

    QTest::mouseClick(button(toolbar, "tool.arrow"), Qt::LeftButton);
    QCOMPARE(store.currentTool(), AnnotationTool::Arrow);
    // Clicking the current tool again keeps it current (and shown so).
    QTest::mouseClick(button(toolbar, "tool.arrow"), Qt::LeftButton);
    QCOMPARE(store.currentTool(), AnnotationTool::Arrow);
    for (const AnnotationTool tool : kAllAnnotationTools) {
        QCOMPARE(button(toolbar, QStringLiteral("tool.") + rawValue(tool))->isChecked(),
                 tool == AnnotationTool::Arrow);
    }

    QTest::mouseClick(button(toolbar, "color.white"), Qt::LeftButton);
    QCOMPARE(store.currentColor(), AnnotationColor::White);
    QVERIFY(!button(toolbar, "color.red")->isChecked());
    QVERIFY(button(toolbar, "color.white")->isChecked());

    QTest::mouseClick(button(toolbar, "width.8"), Qt::LeftButton);
    QCOMPARE(store.currentLineWidth(), 8.0);
    for (const auto& name : {"width.2", "width.3", "width.5"}) {
        QVERIFY2(!button(toolbar, name)->isChecked(), name);
    }
    QVERIFY(button(toolbar, "width.8")->isChecked());

    // Changes made elsewhere (tool keys of the host) show too.
    store.setCurrentTool(AnnotationTool::Blur);
    QVERIFY(button(toolbar, "tool.blur")->isChecked());
    QVERIFY(!button(toolbar, "tool.arrow")->isChecked());
}

void AnnotationToolbarTest::undoIsEnabledExactlyWhenTheStoreCanUndo() {
    AnnotationStore store;
    Calls calls;
    AnnotationToolbar toolbar(store, requiredOnly(calls));
    toolbar.show();
    QAbstractButton* undo = button(toolbar, "undo");
    QVERIFY(!undo->isEnabled());

    store.openTextField({10, 10});
    QVERIFY(undo->isEnabled());
    QTest::mouseClick(undo, Qt::LeftButton);
    QVERIFY(!store.pendingTextLocation());
    QVERIFY(!undo->isEnabled());

    store.appendStep({5, 5}, 1);
    store.appendStep({9, 9}, 1);
    QVERIFY(undo->isEnabled());
    QTest::mouseClick(undo, Qt::LeftButton);
    QCOMPARE(store.annotations().size(), 1);
    QVERIFY(undo->isEnabled());
    QTest::mouseClick(undo, Qt::LeftButton);
    QVERIFY(store.annotations().isEmpty());
    QVERIFY(!undo->isEnabled());
}

void AnnotationToolbarTest::shortcutsWorkAnywhereInTheWindow() {
    AnnotationStore store;
    Calls calls;
    {
        Window host(store, everything(calls));
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        host.other->setFocus();
        store.appendStep({5, 5}, 1);

        QTest::keyClick(host.other, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(store.annotations().isEmpty());
        QTest::keyClick(host.other, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(host.other, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(calls.copy, 1);
        QCOMPARE(calls.save, 1);
        // Plain letters are the host's business.
        QTest::keyClick(host.other, Qt::Key_C);
        QTest::keyClick(host.other, Qt::Key_S);
        QCOMPARE(calls.copy, 1);
        QCOMPARE(calls.save, 1);
    }

    Calls minimalCalls;
    Window host(store, requiredOnly(minimalCalls));
    QVERIFY(QTest::qWaitForWindowActive(&host.window));
    host.other->setFocus();
    QTest::keyClick(host.other, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(host.other, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(minimalCalls.save, 0);
    QCOMPARE(minimalCalls.copy, 1);
}

void AnnotationToolbarTest::actionButtonsCallTheHost() {
    AnnotationStore store;
    Calls calls;
    AnnotationToolbar toolbar(store, everything(calls));
    toolbar.show();
    for (const auto& name : {"recognize", "copy", "save", "removeBackground", "done", "cancel"}) {
        QTest::mouseClick(button(toolbar, name), Qt::LeftButton);
    }
    QCOMPARE(calls.ocr, 1);
    QCOMPARE(calls.copy, 1);
    QCOMPARE(calls.save, 1);
    QCOMPARE(calls.removeBackground, 1);
    QCOMPARE(calls.done, 1);
    QCOMPARE(calls.cancel, 1);
    QVERIFY(store.annotations().isEmpty()); // none of them touches the marks
}

void AnnotationToolbarTest::everySymbolIsDrawnInItsColour() {
    QStringList used;
    for (const AnnotationTool tool : kAllAnnotationTools) {
        used << AnnotationToolbar::toolSymbol(tool);
    }
    used << "arrow.uturn.backward"
         << "wand.and.stars"
         << "text.viewfinder"
         << "doc.on.doc"
         << "square.and.arrow.down"
         << "checkmark.circle.fill"
         << "xmark";
    QCOMPARE(QSet<QString>(used.begin(), used.end()).size(), used.size()); // one icon per name

    const QColor green(74, 222, 128);
    for (const QString& name : used) {
        QVERIFY2(SymbolIcon::contains(name), qPrintable(name));
        const QImage icon = SymbolIcon::render(name, 16, green, 2);
        QCOMPARE(icon.size(), QSize(32, 32));
        QCOMPARE(icon.deviceIndependentSize(), QSizeF(16, 16));
        int inked = 0;
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x) {
                const QColor pixel = icon.pixelColor(x, y);
                inked += pixel.alpha() >= 128 ? 1 : 0;
                if (pixel.alpha() == 255) { // within blending's rounding
                    QVERIFY(qAbs(pixel.red() - green.red()) <= 2);
                    QVERIFY(qAbs(pixel.green() - green.green()) <= 2);
                    QVERIFY(qAbs(pixel.blue() - green.blue()) <= 2);
                }
            }
        }
        // Visible, yet an outline rather than a filled square.
        QVERIFY2(inked > 20 && inked < 32 * 32 * 3 / 4, qPrintable(name));
    }
    QVERIFY(SymbolIcon::render(u"no.such.symbol", 16, green, 1).isNull());
}

QTEST_MAIN(AnnotationToolbarTest)
#include "AnnotationToolbarTest.moc"
