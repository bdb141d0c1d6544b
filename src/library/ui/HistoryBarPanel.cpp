#include "library/ui/HistoryBarPanel.h"

#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>

#include "presentation/ui/X11WindowState.h"

namespace ivra {

HistoryBarPanel::HistoryBarPanel(HistoryStore& store, HistoryCardActions actions)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("historyBar"));
    setWindowTitle(QStringLiteral("Screenshot History"));
    m_composited = X11WindowState::hasCompositingManager().value_or(true);
    setAttribute(Qt::WA_TranslucentBackground, m_composited);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kInsetPt, 0, kInsetPt, kInsetPt);
    m_view = new HistoryBarView(store, std::move(actions));
    m_view->setTranslucent(m_composited);
    layout->addWidget(m_view);
    resize(kInitialWidthPt, kHeightPt);
    // The window-manager state has to be on the window before it is first mapped.
    winId();
    X11WindowState::addStates(*this, {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE",
                                      "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"});
    X11WindowState::showOnAllDesktops(*this);
}

void HistoryBarPanel::present(const QRect& available) {
    if (available.isValid()) {
        setGeometry(available.left(), available.top(), available.width(), kHeightPt);
    }
    show();
    raise();
    activateWindow();
}

void HistoryBarPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyShape();
}

void HistoryBarPanel::applyShape() {
    if (m_composited) {
        clearMask();
        return;
    }
    QPainterPath shape;
    const QRect content = rect().adjusted(kInsetPt, 0, -kInsetPt, -kInsetPt);
    shape.addRoundedRect(QRectF(content), HistoryBarView::kCornerRadiusPt,
                         HistoryBarView::kCornerRadiusPt);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
}

} // namespace ivra
