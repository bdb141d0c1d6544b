#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRegion>

#include "capture/OverlayKeyboard.h"

class QPainter;
class QScreen;
class QWidget;

namespace ivra {

// What the capture overlays (area selection, window picker) have in common.
namespace OverlaySupport {

// A borderless window above everything, panels included, that the window manager leaves
// alone (override-redirect on X11), painted entirely by its owner.
void prepareWindow(QWidget& window, const QString& title);

// Paints the parts of `region` (view points) from `frame` (device pixels, one per device
// pixel at `scale`), then darkens them with black at `dim`.
void paintFrozenFrame(QPainter& painter, const QImage& frame, const QRegion& region, double scale,
                      double dim);

} // namespace OverlaySupport

// The overlay windows of one kind: one per screen, made the first time and kept (hidden)
// between captures, dropped when the screen goes away; the ones shown in the running capture;
// and the keyboard they take. A press in a shown overlay gives it the keyboard.
template <typename Window> class OverlaySet {
public:
    explicit OverlaySet(OverlayKeyboard& keyboard)
        : m_keyboard(keyboard) {}

    Window& windowFor(QScreen* screen) {
        auto& slot = m_pool[screen];
        if (!slot) {
            slot = std::make_unique<Window>(screen);
            Window* window = slot.get();
            QObject::connect(window, &Window::pointerPressed, window, [this, window] {
                if (window->isVisible()) {
                    m_keyboard.deliverTo(*window->windowHandle());
                }
            });
        }
        return *slot;
    }
    void show(Window& window) {
        window.show();
        window.raise();
        m_shown.append(&window);
    }
    QList<Window*> shown() const {
        QList<Window*> result;
        for (const auto& window : m_shown) {
            if (window) {
                result.append(window);
            }
        }
        return result;
    }
    void giveKeysTo(Window& window) { m_keyboard.deliverTo(*window.windowHandle()); }
    // Hides and ends every shown overlay and lets the keyboard go.
    void endAll() {
        for (const auto& window : m_shown) {
            if (window) {
                window->end();
            }
        }
        m_shown.clear();
        m_keyboard.release();
    }
    // The screen went away: its window is dropped, after `whileShown` ran if it was showing.
    void forget(QScreen* screen, const std::function<void()>& whileShown) {
        const auto it = m_pool.find(screen);
        if (it == m_pool.end()) {
            return;
        }
        const std::unique_ptr<Window> window = std::move(it->second);
        m_pool.erase(it);
        if (m_shown.contains(QPointer(window.get()))) {
            whileShown();
        }
    }

private:
    OverlayKeyboard& m_keyboard;
    std::map<QScreen*, std::unique_ptr<Window>> m_pool;
    QList<QPointer<Window>> m_shown;
};

} // namespace ivra
