#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QImage>
#include <QRegion>
#include <QWidget>

#include "capture/AreaSelectionState.h"

class QScreen;

namespace ivra {

class AnnotationCanvasView;
class AnnotationToolbar;
class OverlayCaption;
class SelectionFrame;

// The overlay of one display during an area capture: a borderless window above everything
// (panels included) showing the display's frozen frame, dimmed, with a crosshair and a
// magnifier, then the rectangle being drawn with its size, and after confirmation the
// in-place annotation: canvas, move border, resize dots, toolbar, hint line and toast.
// Everything it shows comes from its AreaSelectionState, which it tells about gestures and
// keys; it decides nothing itself.
//
// A window is kept for its display between captures (hidden), so a capture does not pay
// for a new window and backing store; begin() starts a capture on it with a fresh state.
// Repaints are limited to what changed: the magnifier and crosshair, or the selection's
// border and label.
class AreaSelectionWindow : public QWidget {
    Q_OBJECT

public:
    struct Endings {
        std::function<void()> onCancel;
        std::function<void(QImage)> onCopy;
        std::function<void(QImage)> onDone;
        std::function<void()> onDismiss;
    };

    explicit AreaSelectionWindow(QScreen* screen);
    ~AreaSelectionWindow() override;

    // A new capture on this display over `frozenFrame` (device pixels); the window covers
    // the display and is shown by the caller.
    void begin(QImage frozenFrame, Endings endings, AreaSelectionState::Services services);
    // Hides the window and drops the capture's state.
    void end();

    QScreen* targetScreen() const { return m_screen; }
    AreaSelectionState* state() const { return m_state.get(); }
    AnnotationCanvasView* canvas() const { return m_canvas; }
    AnnotationToolbar* toolbar() const { return m_toolbar; }
    // What the view shows now, for tests and automation.
    QString hintText() const;
    QString toastText() const;
    // The magnifier's square on screen (view space); empty when none is shown.
    QRectF magnifierRect() const;
    // Prepares the window's native window and backing store, so the first capture does not
    // pay for them.
    void warmUp();

signals:
    // A mouse button went down in this overlay: it should take the keyboard.
    void pointerPressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void connectState();
    // The parts painted by this widget that depend on the pointer or the drag.
    QRegion chromeRegion() const;
    void refreshChrome();
    void syncPhase();
    void syncAnnotation();
    void syncToast();
    void placeAnnotationChrome();
    void paintSelectionLayer(QPainter& painter, const QRect& dirty);
    void paintMagnifier(QPainter& painter);

    QScreen* m_screen;
    std::unique_ptr<AreaSelectionState> m_state;
    QImage m_frame;
    QRegion m_paintedChrome;
    bool m_dragging = false;

    AnnotationCanvasView* m_canvas = nullptr;
    AnnotationToolbar* m_toolbar = nullptr;
    SelectionFrame* m_selectionFrame = nullptr;
    OverlayCaption* m_hint = nullptr;
    OverlayCaption* m_toast = nullptr;
};

} // namespace ivra
