#include "capture/WindowPickerState.h"

#include "keyboard/KeyPositions.h"

namespace ivra {

QList<CaptureWindow> WindowPickerState::pickable(const QList<CaptureWindow>& windows, qint64 ownPid,
                                                 const QString& ownApplicationID) {
    QList<CaptureWindow> result;
    for (const CaptureWindow& window : windows) {
        const bool ours = (ownPid != 0 && window.pid == ownPid) ||
                          (!ownApplicationID.isEmpty() && window.applicationID == ownApplicationID);
        if (window.isOnScreen && window.windowLayer == 0 &&
            window.frame.width() >= kMinimumSidePt && window.frame.height() >= kMinimumSidePt &&
            !ours) {
            result.append(window);
        }
    }
    return result;
}

QList<WindowPickerState::Candidate>
WindowPickerState::candidatesFor(const QList<CaptureWindow>& windows, const QRect& displayFrame) {
    // In the space with y up the display's bottom edge is its origin: a window's lower edge
    // lies (display bottom − window bottom) above it.
    const double displayBottom = displayFrame.y() + displayFrame.height();
    QList<Candidate> candidates;
    for (const CaptureWindow& window : windows) {
        const QRectF& f = window.frame;
        candidates.append(
            {window, QRectF(f.x() - displayFrame.x(), displayBottom - (f.y() + f.height()),
                            f.width(), f.height())});
    }
    return candidates;
}

WindowPickerState::WindowPickerState(QList<Candidate> candidates, QSizeF viewSize,
                                     std::function<void()> onCancel,
                                     std::function<void(const CaptureWindow&)> onSelect,
                                     QObject* parent)
    : QObject(parent)
    , m_candidates(std::move(candidates))
    , m_viewSize(viewSize)
    , m_onCancel(std::move(onCancel))
    , m_onSelect(std::move(onSelect)) {
}

std::optional<QRectF> WindowPickerState::highlightedViewRect() const {
    if (!m_highlightedRect) {
        return std::nullopt;
    }
    const QRectF& r = *m_highlightedRect;
    return QRectF(r.x(), m_viewSize.height() - (r.y() + r.height()), r.width(), r.height());
}

void WindowPickerState::updateHover(QPointF point) {
    std::optional<QRectF> hit;
    for (const Candidate& candidate : m_candidates) {
        // Edges included on every side, as a rectangle's contains() in the display space.
        const QRectF& r = candidate.rect;
        if (point.x() >= r.left() && point.x() <= r.right() && point.y() >= r.top() &&
            point.y() <= r.bottom()) {
            hit = r;
            break;
        }
    }
    if (hit != m_highlightedRect) {
        m_highlightedRect = hit;
        emit highlightChanged();
    }
}

void WindowPickerState::click() {
    if (m_finished || !m_highlightedRect) {
        return;
    }
    for (const Candidate& candidate : m_candidates) {
        if (candidate.rect == *m_highlightedRect) {
            m_finished = true;
            m_onSelect(candidate.window);
            return;
        }
    }
}

bool WindowPickerState::handleKeyDown(quint16 keyPosition) {
    if (m_finished || keyPosition != keypos::Escape) {
        return false;
    }
    m_finished = true;
    m_onCancel();
    return true;
}

} // namespace ivra
