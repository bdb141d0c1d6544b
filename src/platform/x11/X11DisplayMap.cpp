#include "platform/x11/X11DisplayMap.h"

#include <utility>

#include <QGuiApplication>
#include <QScreen>

namespace ivra::platform {

namespace {

double ratioOfScreenNamed(const QString& name) {
    if (qGuiApp == nullptr) {
        return 1.0;
    }
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        if (screen->name() == name) {
            return screen->devicePixelRatio();
        }
    }
    return 1.0;
}

qint64 area(const QRect& rect) {
    return rect.isEmpty() ? 0 : qint64(rect.width()) * rect.height();
}

} // namespace

X11DisplayMap::X11DisplayMap(QList<X11Monitor> monitors)
    : m_monitors(std::move(monitors)) {
    for (const X11Monitor& monitor : std::as_const(m_monitors)) {
        m_ratios << ratioOfScreenNamed(monitor.name);
    }
}

const X11Monitor* X11DisplayMap::monitor(DisplayID id) const {
    for (const X11Monitor& monitor : m_monitors) {
        if (monitor.displayID == id) {
            return &monitor;
        }
    }
    return nullptr;
}

double X11DisplayMap::devicePixelRatio(const X11Monitor& monitor) const {
    return m_ratios.value(&monitor - m_monitors.constData(), 1.0);
}

CaptureDisplay X11DisplayMap::display(const X11Monitor& monitor) const {
    const double ratio = devicePixelRatio(monitor);
    const QSize sizePt(qRound(monitor.rectPx.width() / ratio),
                       qRound(monitor.rectPx.height() / ratio));
    return CaptureDisplay{monitor.displayID, QRect(monitor.rectPx.topLeft(), sizePt), monitor.name};
}

QRectF X11DisplayMap::toPoints(const QRect& rectPx) const {
    const X11Monitor* monitor = monitorFor(rectPx);
    if (monitor == nullptr) {
        return QRectF(rectPx);
    }
    const double ratio = devicePixelRatio(*monitor);
    const QPointF origin = monitor->rectPx.topLeft();
    return QRectF(origin + (QPointF(rectPx.topLeft()) - origin) / ratio,
                  QSizeF(rectPx.size()) / ratio);
}

const X11Monitor* X11DisplayMap::monitorFor(const QRect& rectPx) const {
    const X11Monitor* best = nullptr;
    qint64 bestArea = 0;
    for (const X11Monitor& monitor : m_monitors) {
        if (monitor.rectPx.contains(rectPx.center())) {
            return &monitor;
        }
        if (const qint64 overlap = area(monitor.rectPx.intersected(rectPx)); overlap > bestArea) {
            best = &monitor;
            bestArea = overlap;
        }
    }
    return best;
}

std::optional<DisplayID> X11DisplayMap::displayID(const QList<X11Monitor>& monitors,
                                                  const QScreen& screen) {
    for (const X11Monitor& monitor : monitors) {
        if (monitor.name == screen.name()) {
            return monitor.displayID;
        }
    }
    return std::nullopt;
}

} // namespace ivra::platform
