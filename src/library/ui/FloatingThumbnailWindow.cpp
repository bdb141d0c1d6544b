#include "library/ui/FloatingThumbnailWindow.h"

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

#include <QEasingCurve>
#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>

#include "library/ui/ThumbnailCardView.h"

#include "presentation/ui/X11WindowState.h"

namespace ivra {

namespace {

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename Reply> using XcbReply = std::unique_ptr<Reply, FreeDeleter>;

// Null when the application does not run on X11 (Wayland keeps its own rules for such
// windows, and there is nothing more to ask for).
xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(qstrlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

FloatingThumbnailWindow::FloatingThumbnailWindow(ThumbnailCardView* card, QSize sizePt)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus)
    , m_card(card) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizePt);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(card);
}

void FloatingThumbnailWindow::present() {
    // The state has to be on the window before it is mapped: window managers read it then.
    winId();
    applyWindowManagerState();
    applyShapeWithoutCompositor();
    show();
    raise();
}

void FloatingThumbnailWindow::applyWindowManagerState() {
    // Qt adds its own "above" state for the stay-on-top flag to what it finds; sticky and
    // the all-desktops number are ours, as Qt has no flag for them.
    X11WindowState::addStates(*this, {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE"});
    X11WindowState::showOnAllDesktops(*this);
}

void FloatingThumbnailWindow::applyShapeWithoutCompositor() {
    xcb_connection_t* connection = x11Connection();
    if (!connection) {
        return;
    }
    // Without a compositing manager the transparent corners would show black; cut the
    // window to the card's shape instead (the first screen's manager is the one that
    // counts on a single-screen display).
    const XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, internAtom(connection, "_NET_WM_CM_S0")),
        nullptr));
    if (owner && owner->owner != XCB_WINDOW_NONE) {
        clearMask();
        return;
    }
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), ThumbnailCardView::kCornerRadiusPt,
                         ThumbnailCardView::kCornerRadiusPt);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
}

void FloatingThumbnailWindow::moveTo(const QRect& target, int durationMs) {
    if (m_animation) {
        m_animation->stop();
    }
    if (durationMs <= 0 || !isVisible()) {
        setGeometry(target);
        return;
    }
    m_animation = new QPropertyAnimation(this, "geometry", this);
    m_animation->setStartValue(geometry());
    m_animation->setEndValue(target);
    m_animation->setDuration(durationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    m_animation->start(QAbstractAnimation::DeleteWhenStopped);
}

QRect FloatingThumbnailWindow::targetGeometry() const {
    if (m_animation && m_animation->state() == QAbstractAnimation::Running) {
        return m_animation->endValue().toRect();
    }
    return geometry();
}

} // namespace ivra
