#include "library/ui/FloatingThumbnailWindow.h"

#include <QEasingCurve>
#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>

#include "library/ui/ThumbnailCardView.h"
#include "presentation/ui/X11WindowState.h"

namespace ivra {

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
    // Without a compositing manager the transparent corners would show black; cut the
    // window to the card's shape instead.
    if (X11WindowState::hasCompositingManager().value_or(true)) {
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
