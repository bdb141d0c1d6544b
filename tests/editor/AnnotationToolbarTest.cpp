#include <QAbstractButton>
#include <QTest>
#include <QVBoxLayout>

#include "annotation/AnnotationStore.h"
#include "editor/SymbolIcon.h"
#include "editor/ui/AnnotationToolbar.h"

using namespace ivra;

namespace {

struct Host {
    int copy = 0, ocr = 0, save = 0, removeBackground = 0, done = 0, cancel = 0;

    AnnotationToolbarActions required() {
        return {[this] { ++copy; }, [this] { ++ocr; }, {}, {}, {}, {}};
    }
    AnnotationToolbarActions all() {
        return {[this] { ++copy; }, [this] { ++ocr; },
                [this] { ++save; }, [this] { ++removeBackground; },
                [this] { ++done; }, [this] { ++cancel; }};
    }
};

QAbstractButton* button(const QWidget& toolbar, const QString& name) {
    return toolbar.findChild<QAbstractButton*>(name);
}

} // namespace

class AnnotationToolbarTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void optionalButtonsAppearOnlyWithTheirActions();
    void controlsComeInOrderWithLinuxShortcutTexts();
    void buttonsWriteTheStoreAndShowTheCurrentChoice();
    void undoIsEnabledExactlyWhenTheStoreCanUndo();
    void shortcutsWorkAnywhereInTheWindow();
    void everySymbolIsDrawnInItsColour();
};

void AnnotationToolbarTest::optionalButtonsAppearOnlyWithTheirActions() {
    AnnotationStore store;
    Host host;
    AnnotationToolbar minimal(store, host.required());
    // 9 tools, 7 swatches, 4 widths, then undo, recognise and copy only.
    QCOMPARE(minimal.findChildren<QAbstractButton*>().size(), 9 + 7 + 4 + 3);
    for (const auto& name : {"save", "removeBackground", "done", "cancel"}) {
        QVERIFY2(!button(minimal, name), name);
    }

    AnnotationToolbar full(store, host.all());
    for (const auto& name : {"recognize", "copy", "save", "removeBackground", "done", "cancel"}) {
        QTest::mouseClick(button(full, name), Qt::LeftButton);
    }
    QCOMPARE(
        (QList<int>{host.ocr, host.copy, host.save, host.removeBackground, host.done, host.cancel}),
        (QList<int>{1, 1, 1, 1, 1, 1}));
}

void AnnotationToolbarTest::controlsComeInOrderWithLinuxShortcutTexts() {
    AnnotationStore store;
    Host host;
    AnnotationToolbar toolbar(store, host.all());
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
        QVERIFY2(control && control->x() > previousRight, qPrintable(name));
        previousRight = control->geometry().right();
    }

    const QList<QPair<QString, QString>> tips{
        {"tool.ellipse", "Circle (C)"},
        {"tool.step", "Numbered step — each click adds 1, 2, 3… (S)"},
        {"width.5", "Line thickness"},
        {"color.red", ""},
        {"undo", "Undo (Ctrl+Z)"},
        {"copy", "Copy image (Ctrl+C)"},
        {"save", "Save as… (Ctrl+S)"},
        {"cancel", "Cancel (Esc)"},
    };
    for (const auto& [name, tip] : tips) {
        QCOMPARE(button(toolbar, name)->toolTip(), tip);
    }
}

void AnnotationToolbarTest::buttonsWriteTheStoreAndShowTheCurrentChoice() {
    AnnotationStore store;
    Host host;
    AnnotationToolbar toolbar(store, host.required());
    toolbar.show();
    QTest::mouseClick(button(toolbar, "tool.arrow"), Qt::LeftButton);
    QTest::mouseClick(button(toolbar, "tool.arrow"), Qt::LeftButton); // stays current
    QTest::mouseClick(button(toolbar, "color.white"), Qt::LeftButton);
    QTest::mouseClick(button(toolbar, "width.8"), Qt::LeftButton);
    QCOMPARE(store.currentTool(), AnnotationTool::Arrow);
    QCOMPARE(store.currentColor(), AnnotationColor::White);
    QCOMPARE(store.currentLineWidth(), 8.0);

    store.setCurrentTool(AnnotationTool::Blur); // a tool key of the host
    QStringList current;
    for (QAbstractButton* control : toolbar.findChildren<QAbstractButton*>()) {
        if (control->isChecked()) {
            current << control->objectName();
        }
    }
    QCOMPARE(current, (QStringList{"tool.blur", "color.white", "width.8"}));
}

void AnnotationToolbarTest::undoIsEnabledExactlyWhenTheStoreCanUndo() {
    AnnotationStore store;
    Host host;
    AnnotationToolbar toolbar(store, host.required());
    toolbar.show();
    QAbstractButton* undo = button(toolbar, "undo");
    QVERIFY(!undo->isEnabled());
    store.openTextField({10, 10});
    QVERIFY(undo->isEnabled());
    QTest::mouseClick(undo, Qt::LeftButton);
    QVERIFY(!store.pendingTextLocation() && !undo->isEnabled());

    store.appendStep({5, 5}, 1);
    store.appendStep({9, 9}, 1);
    QTest::mouseClick(undo, Qt::LeftButton);
    QVERIFY(undo->isEnabled());
    QTest::mouseClick(undo, Qt::LeftButton);
    QVERIFY(store.annotations().isEmpty() && !undo->isEnabled());
}

void AnnotationToolbarTest::shortcutsWorkAnywhereInTheWindow() {
    for (const bool withSave : {true, false}) {
        AnnotationStore store;
        store.appendStep({5, 5}, 1);
        Host host;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(new AnnotationToolbar(store, withSave ? host.all() : host.required()));
        auto* elsewhere = new QWidget;
        elsewhere->setFocusPolicy(Qt::StrongFocus);
        layout->addWidget(elsewhere);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        elsewhere->setFocus();

        for (const Qt::Key key : {Qt::Key_Z, Qt::Key_C, Qt::Key_S}) {
            QTest::keyClick(elsewhere, key, Qt::ControlModifier);
            QTest::keyClick(elsewhere, key); // plain letters are the host's business
        }
        QVERIFY(store.annotations().isEmpty());
        QCOMPARE(host.copy, 1);
        QCOMPARE(host.save, withSave ? 1 : 0);
    }
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
        const QImage icon = SymbolIcon::render(name, 16, green, 2); // a scale-2 screen
        QCOMPARE(icon.size(), QSize(32, 32));
        int inked = 0;
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x) {
                const QColor pixel = icon.pixelColor(x, y);
                inked += pixel.alpha() >= 128 ? 1 : 0;
                if (pixel.alpha() == 255) { // exact but for blending's rounding
                    QVERIFY(qAbs(pixel.green() - green.green()) <= 2 &&
                            qAbs(pixel.red() - green.red()) <= 2);
                }
            }
        }
        // Visible, and an icon rather than a filled square or a corner of one.
        QVERIFY2(inked > 40 && inked < 32 * 32 * 3 / 4, qPrintable(name));
    }
    QVERIFY(SymbolIcon::render(u"no.such.symbol", 16, green, 1).isNull());
}

QTEST_MAIN(AnnotationToolbarTest)
#include "AnnotationToolbarTest.moc"
