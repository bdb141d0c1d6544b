#pragma once

#include <QWidget>

#include "library/ui/HistoryBarView.h"

namespace ivra {

// The shelf's window: a borderless strip above ordinary windows and the floating
// thumbnails, on every workspace, out of the taskbar, that can take the keyboard (for
// Escape). Its content is inset 8 points from the left, right and bottom edges. With a
// compositing manager the corners are see-through; without one the window is cut to the
// content's rounded shape.
class HistoryBarPanel final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeightPt = 250;
    static constexpr int kInsetPt = 8;
    static constexpr int kInitialWidthPt = 800;

    HistoryBarPanel(HistoryStore& store, HistoryCardActions actions);

    HistoryBarView& view() const { return *m_view; }

    // Places the strip across the top of `available` (the main screen without its panels)
    // and shows it in front with the keyboard.
    void present(const QRect& available);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyShape();

    HistoryBarView* m_view;
    bool m_composited = false;
};

} // namespace ivra
