#pragma once

#include <array>
#include <functional>

#include <QPointer>
#include <QWidget>
#include <QWindow>

#include "annotation/Annotation.h"
#include "annotation/AnnotationColor.h"
#include "annotation/AnnotationTool.h"

class QAbstractButton;

namespace ivra {

class AnnotationStore;

// What the host offers besides drawing. Copy and text recognition are always offered; an
// empty optional action leaves its button out (and, for save, its Ctrl+S shortcut).
struct AnnotationToolbarActions {
    std::function<void()> onCopy;
    std::function<void()> onOCR;
    std::function<void()> onSave;
    std::function<void()> onRemoveBackground;
    std::function<void()> onDone;   // the host binds Return itself
    std::function<void()> onCancel; // the host binds Escape itself
    // False for hosts that route Ctrl+Z, Ctrl+C and Ctrl+S themselves.
    bool bindsShortcuts = true;
};

// The bar of controls over an annotation canvas: tools, colours, widths, undo and the
// host's actions, on a translucent rounded bar with a shadow. It holds no state of its own:
// buttons write the shared store or call the host, and the bar redraws from the store.
// Ctrl+Z, Ctrl+C and Ctrl+S work anywhere in the bar's window, even in a label's field, by
// key position (so in every keyboard layout).
//
// Buttons carry object names for automation: "tool.<raw value>", "color.<name>",
// "width.<points>", "undo", "removeBackground", "recognize", "copy", "save", "done",
// "cancel".
class AnnotationToolbar : public QWidget {
    Q_OBJECT

public:
    AnnotationToolbar(AnnotationStore& store, AnnotationToolbarActions actions,
                      QWidget* parent = nullptr);

    static QString toolSymbol(AnnotationTool tool);
    static QString toolTip(AnnotationTool tool);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void syncWithStore();

    AnnotationStore& m_store;
    AnnotationToolbarActions m_actions;
    std::array<QAbstractButton*, kAllAnnotationTools.size()> m_toolButtons{};
    std::array<QAbstractButton*, kPalette.size()> m_swatches{};
    std::array<QAbstractButton*, kLineWidthChoices.size()> m_widthButtons{};
    QAbstractButton* m_undoButton = nullptr;
    QPointer<QWindow> m_keyWindow;
};

} // namespace ivra
