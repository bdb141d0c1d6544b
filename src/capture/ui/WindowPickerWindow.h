#pragma once

#include <memory>

#include <QImage>
#include <QWidget>

#include "capture/WindowPickerState.h"

class QScreen;

namespace ivra {

// The window picker's overlay on one display: the display as it was at the request,
// slightly darkened (X11 has no translucent windows without a compositor, so the picture
// stands in for a see-through pane), with the window under the pointer outlined in the
// accent blue. Kept per display between picks; begin() starts one with a fresh state.
class WindowPickerWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr double kDim = 0.15;
    static constexpr double kOutlineWidth = 3;

    explicit WindowPickerWindow(QScreen* screen);
    ~WindowPickerWindow() override;

    void begin(QImage frozenFrame, std::unique_ptr<WindowPickerState> state);
    void end();
    QScreen* targetScreen() const { return m_screen; }
    WindowPickerState* state() const { return m_state.get(); }

signals:
    void pointerPressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect highlightBounds() const;

    QScreen* m_screen;
    QImage m_frame;
    std::unique_ptr<WindowPickerState> m_state;
    QRect m_paintedHighlight;
};

} // namespace ivra
