#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QObject>
#include <QRectF>
#include <QSizeF>

#include "capture/ScreenCaptureBackend.h"

namespace ivra {

// What one window-picker overlay knows: the windows that may be picked, each with its
// rectangle in this display's own space (points, origin at the display's bottom-left corner,
// y up), and the one under the pointer. Free of drawing; the overlay reports the pointer,
// clicks and keys.
class WindowPickerState : public QObject {
    Q_OBJECT

public:
    struct Candidate {
        CaptureWindow window;
        QRectF rect;
    };

    static constexpr double kMinimumSidePt = 60;

    // The windows a user may pick, in the platform's order: on screen, ordinary (layer 0),
    // at least 60 × 60 points, and not Ivra's own (by process, or by desktop-entry id).
    static QList<CaptureWindow> pickable(const QList<CaptureWindow>& windows, qint64 ownPid,
                                         const QString& ownApplicationID);
    // Every window's rectangle in the space of the display at `displayFrame` (global
    // points, origin at the primary display's top left, y down).
    static QList<Candidate> candidatesFor(const QList<CaptureWindow>& windows,
                                          const QRect& displayFrame);

    WindowPickerState(QList<Candidate> candidates, QSizeF viewSize, std::function<void()> onCancel,
                      std::function<void(const CaptureWindow&)> onSelect,
                      QObject* parent = nullptr);

    const QList<Candidate>& candidates() const { return m_candidates; }
    QSizeF viewSize() const { return m_viewSize; }
    const std::optional<QRectF>& highlightedRect() const { return m_highlightedRect; }
    // The highlight in the overlay's view space (origin top left, y down).
    std::optional<QRectF> highlightedViewRect() const;

    // The pointer at `point` (display space, y up): the first candidate under it is
    // highlighted, or none.
    void updateHover(QPointF point);
    // A click: picks the highlighted window; nothing when none is.
    void click();
    // Escape cancels (true: used); every other key passes.
    bool handleKeyDown(quint16 keyPosition);

signals:
    void highlightChanged();

private:
    QList<Candidate> m_candidates;
    QSizeF m_viewSize;
    std::function<void()> m_onCancel;
    std::function<void(const CaptureWindow&)> m_onSelect;
    std::optional<QRectF> m_highlightedRect;
    bool m_finished = false;
};

} // namespace ivra
