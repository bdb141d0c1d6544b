#include "capture/ui/WindowPickerWindow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "capture/AreaOverlayLayout.h"
#include "capture/ui/OverlaySupport.h"
#include "keyboard/KeyPositions.h"

namespace ivra {

WindowPickerWindow::WindowPickerWindow(QScreen* screen)
    : m_screen(screen) {
    setObjectName(QStringLiteral("WindowPickerWindow"));
    OverlaySupport::prepareWindow(*this, tr("Ivra window capture"));
    setCursor(Qt::PointingHandCursor);
}

WindowPickerWindow::~WindowPickerWindow() = default;

void WindowPickerWindow::begin(QImage frozenFrame, std::unique_ptr<WindowPickerState> state) {
    end();
    m_frame = std::move(frozenFrame);
    m_state = std::move(state);
    connect(m_state.get(), &WindowPickerState::highlightChanged, this, [this] {
        const QRect now = highlightBounds();
        update(QRegion(m_paintedHighlight) | QRegion(now));
        m_paintedHighlight = now;
    });
    const QRect geometry = m_screen->geometry();
    const QPoint pointer = QCursor::pos(m_screen);
    if (geometry.contains(pointer)) {
        const QPointF local = pointer - geometry.topLeft();
        m_state->updateHover({local.x(), geometry.height() - local.y()});
    }
    m_paintedHighlight = highlightBounds();
    setGeometry(geometry);
    create();
    windowHandle()->setScreen(m_screen);
    windowHandle()->installEventFilter(this);
    update();
}

void WindowPickerWindow::end() {
    if (windowHandle()) {
        windowHandle()->removeEventFilter(this);
    }
    hide();
    if (m_state) {
        // end() may run inside one of the state's own callbacks.
        m_state->disconnect(this);
        m_state.release()->deleteLater();
    }
    m_frame = QImage();
}

QRect WindowPickerWindow::highlightBounds() const {
    if (!m_state || !m_state->highlightedViewRect()) {
        return {};
    }
    const double grow = kOutlineWidth;
    return m_state->highlightedViewRect()->adjusted(-grow, -grow, grow, grow).toAlignedRect();
}

void WindowPickerWindow::paintEvent(QPaintEvent* event) {
    if (!m_state) {
        return;
    }
    QPainter painter(this);
    OverlaySupport::paintFrozenFrame(painter, m_frame, event->region(), devicePixelRatioF(), kDim);
    if (const auto highlight = m_state->highlightedViewRect()) {
        QColor fill = AreaOverlayLayout::kAccent;
        fill.setAlphaF(0.15f);
        painter.fillRect(*highlight, fill);
        painter.setPen(QPen(AreaOverlayLayout::kAccent, kOutlineWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(*highlight);
    }
}

void WindowPickerWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_state) {
        m_state->updateHover({event->position().x(), height() - event->position().y()});
    }
}

void WindowPickerWindow::mousePressEvent(QMouseEvent* event) {
    emit pointerPressed();
    event->accept();
}

void WindowPickerWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (m_state && event->button() == Qt::LeftButton) {
        m_state->updateHover({event->position().x(), height() - event->position().y()});
        m_state->click();
    }
}

bool WindowPickerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (!m_state || watched != windowHandle() || event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto position = KeyPositions::fromKeyEvent(*static_cast<QKeyEvent*>(event));
    return position && m_state->handleKeyDown(*position);
}

} // namespace ivra
