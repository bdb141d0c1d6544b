#include "capture/ui/OverlaySupport.h"

#include <cmath>

#include <QPainter>
#include <QWidget>

namespace ivra::OverlaySupport {

void prepareWindow(QWidget& window, const QString& title) {
    window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint);
    window.setWindowTitle(title);
    // Every pixel is painted from the frozen frame: no background to clear first.
    window.setAttribute(Qt::WA_OpaquePaintEvent);
    window.setAttribute(Qt::WA_NoSystemBackground);
    window.setMouseTracking(true);
}

void paintFrozenFrame(QPainter& painter, const QImage& frame, const QRegion& region, double scale,
                      double dim) {
    // One frame pixel on one device pixel: drawn in device pixels, untransformed, and only
    // where something needs painting.
    painter.save();
    painter.scale(1 / scale, 1 / scale);
    for (const QRect& rect : region) {
        const QRect pixels(
            QPoint(int(std::floor(rect.left() * scale)), int(std::floor(rect.top() * scale))),
            QPoint(int(std::ceil((rect.right() + 1) * scale)) - 1,
                   int(std::ceil((rect.bottom() + 1) * scale)) - 1));
        painter.drawImage(pixels.topLeft(), frame, pixels);
    }
    painter.restore();
    const QColor black = QColor::fromRgbF(0, 0, 0, float(dim));
    for (const QRect& rect : region) {
        painter.fillRect(rect, black);
    }
}

} // namespace ivra::OverlaySupport
