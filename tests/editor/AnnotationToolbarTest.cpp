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

// An active window with the toolbar above another widget, which has the keyboard focus.
struct Window {
    Window(AnnotationStore& store, AnnotationToolbarActions actions)
        : toolbar(new AnnotationToolbar(store, std::move(actions))) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(toolbar);
        layout->addWidget(elsewhere);
        elsewhere->setFocusPolicy(Qt::StrongFocus);
        window.show();
        active = QTest::qWaitForWindowActive(&window);
        elsewhere->setFocus();
    }
    QAbstractButton* button(const QString& name) const {
        return toolbar->findChild<QAbstractButton*>(name);
    }
    void click(const QString& name) const { QTest::mouseClick(button(name), Qt::LeftButton); }

    QWidget window;
    AnnotationToolbar* toolbar;
    QWidget* elsewhere = new QWidget;
    bool active = false;
};

} // namespace

class AnnotationToolbarTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controlsComeInOrderWithTheirTextsAndSymbols();
    void buttonsAndShortcutsDriveTheStoreAndTheHost();
};

void AnnotationToolbarTest::controlsComeInOrderWithTheirTextsAndSymbols() {
    AnnotationStore store;
    Host host;
    AnnotationToolbar toolbar(store, host.all());
    toolbar.adjustSize();
    QStringList order;
    for (const AnnotationTool tool : kAllAnnotationTools) {
        order << QStringLiteral("tool.") + rawValue(tool);
    }
    order << QStringLiteral("color.red color.orange color.yellow color.green color.blue "
                            "color.white color.black width.2 width.3 width.5 width.8 undo "
                            "removeBackground recognize copy save done cancel")
                 .split(' ');
    int previousRight = -1;
    for (const QString& name : order) {
        auto* control = toolbar.findChild<QAbstractButton*>(name);
        QVERIFY2(control && control->x() > previousRight, qPrintable(name));
        previousRight = control->geometry().right();
    }

    const QList<QPair<QString, QString>> tips{
        {"tool.ellipse", "Circle (C)"},
        {"tool.step", "Numbered step — each click adds 1, 2, 3… (S)"},
        {"undo", "Undo (Ctrl+Z)"},
        {"copy", "Copy image (Ctrl+C)"},
        {"save", "Save as… (Ctrl+S)"},
    };
    for (const auto& [name, tip] : tips) {
        QCOMPARE(toolbar.findChild<QAbstractButton*>(name)->toolTip(), tip);
    }

    QStringList used;
    for (const AnnotationTool tool : kAllAnnotationTools) {
        used << AnnotationToolbar::toolSymbol(tool);
    }
    used << QStringLiteral("arrow.uturn.backward wand.and.stars text.viewfinder doc.on.doc "
                           "square.and.arrow.down checkmark.circle.fill xmark")
                .split(' ');
    QCOMPARE(QSet<QString>(used.begin(), used.end()).size(), used.size()); // one icon per name

    const QColor green(74, 222, 128);
    for (const QString& name : used) {
        const QImage icon = SymbolIcon::render(name, 16, green, 2); // a scale-2 screen
        QCOMPARE(icon.size(), QSize(32, 32));
        int inked = 0;
        for (int i = 0; i < 32 * 32; ++i) {
            const QColor pixel = icon.pixelColor(i % 32, i / 32);
            inked += pixel.alpha() >= 128 ? 1 : 0;
            // Exact where opaque, but for blending's rounding.
            QVERIFY(pixel.alpha() < 255 || (qAbs(pixel.green() - green.green()) <= 2 &&
                                            qAbs(pixel.red() - green.red()) <= 2));
        }
        // Visible, and an icon rather than a filled square or a corner of one.
        QVERIFY2(inked > 40 && inked < 32 * 32 * 3 / 4, qPrintable(name));
    }
}

void AnnotationToolbarTest::buttonsAndShortcutsDriveTheStoreAndTheHost() {
    AnnotationStore store;
    Host host;
    const Window w(store, host.all());
    QVERIFY(w.active);
    w.click("tool.arrow");
    w.click("tool.arrow"); // stays current
    QVERIFY(w.button("tool.arrow")->isChecked());
    w.click("color.white");
    w.click("width.8");
    QCOMPARE(store.currentTool(), AnnotationTool::Arrow);
    QCOMPARE(store.currentColor(), AnnotationColor::White);
    QCOMPARE(store.currentLineWidth(), 8.0);
    store.setCurrentTool(AnnotationTool::Blur); // a tool key of the host
    QStringList current;
    for (QAbstractButton* control : w.toolbar->findChildren<QAbstractButton*>()) {
        if (control->isChecked()) {
            current << control->objectName();
        }
    }
    QCOMPARE(current, (QStringList{"tool.blur", "color.white", "width.8"}));

    // Undo is enabled exactly when the store has something to undo.
    QAbstractButton* undo = w.button("undo");
    QVERIFY(!undo->isEnabled());
    store.openTextField({10, 10});
    QVERIFY(undo->isEnabled());
    w.click("undo");
    QVERIFY(!store.pendingTextLocation() && !undo->isEnabled());
    store.appendStep({5, 5}, 1);
    store.appendStep({9, 9}, 1);
    w.click("undo");
    QVERIFY(undo->isEnabled());

    for (const auto& name : {"recognize", "copy", "save", "removeBackground", "done", "cancel"}) {
        w.click(name);
    }
    // Ctrl+Z, Ctrl+C and Ctrl+S work anywhere in the window; plain letters are the host's.
    QWindow* window = w.elsewhere->window()->windowHandle();
    for (const Qt::Key key : {Qt::Key_Z, Qt::Key_C, Qt::Key_S}) {
        QTest::keyClick(window, key, Qt::ControlModifier);
        QTest::keyClick(window, key);
    }
    QVERIFY(store.annotations().isEmpty() && !undo->isEnabled());
    QCOMPARE(
        (QList<int>{host.ocr, host.copy, host.save, host.removeBackground, host.done, host.cancel}),
        (QList<int>{1, 2, 2, 1, 1, 1}));

    // Optional actions left out leave out their buttons, and Ctrl+S with save.
    Host bare;
    const Window minimal(store, bare.required());
    QVERIFY(minimal.active);
    for (const auto& name : {"save", "removeBackground", "done", "cancel"}) {
        QVERIFY2(!minimal.button(name), name);
    }
    QTest::keyClick(minimal.elsewhere->window()->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(minimal.elsewhere->window()->windowHandle(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(bare.copy, 1);
}

QTEST_MAIN(AnnotationToolbarTest)
#include "AnnotationToolbarTest.moc"
