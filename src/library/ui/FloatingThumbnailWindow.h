#pragma once

#include <QPointer>
#include <QPropertyAnimation>
#include <QRect>
#include <QWidget>

namespace ivra {

class ThumbnailCardView;

// The borderless window that holds one card. It floats above ordinary windows on every
// workspace and never takes the keyboard focus, so the user keeps typing where they were
// while the card sits at the screen's edge.
class FloatingThumbnailWindow : public QWidget {
    Q_OBJECT

public:
    // Takes ownership of the card, which fills the window.
    FloatingThumbnailWindow(ThumbnailCardView* card, QSize sizePt);

    ThumbnailCardView& card() const { return *m_card; }

    // Maps the window without activating it, with the window-manager state that keeps it
    // above other windows on all workspaces.
    void present();
    // Moves to `target`, sliding over `durationMs` (0: at once). A move in progress is
    // replaced, so the window always ends at the last target asked for.
    void moveTo(const QRect& target, int durationMs);
    // Where the window is going, or where it is when it is not moving.
    QRect targetGeometry() const;

private:
    void applyWindowManagerState();
    void applyShapeWithoutCompositor();

    ThumbnailCardView* m_card;
    QPointer<QPropertyAnimation> m_animation;
};

} // namespace ivra
