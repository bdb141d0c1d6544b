#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QColor>
#include <QImage>
#include <QList>
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

// One overlay window per screen, kept (hidden) between captures and dropped when its screen
// goes away.
template <typename Window> class OverlayPool {
public:
    // The screen's window, made (and passed to `made`) the first time it is asked for.
    Window& windowFor(QScreen* screen, const std::function<void(Window&)>& made) {
        auto& slot = m_windows[screen];
        if (!slot) {
            slot = std::make_unique<Window>(screen);
            made(*slot);
        }
        return *slot;
    }
    // The screen's window, taken out of the pool (deleted with the returned pointer).
    std::unique_ptr<Window> take(QScreen* screen) {
        const auto it = m_windows.find(screen);
        if (it == m_windows.end()) {
            return nullptr;
        }
        std::unique_ptr<Window> window = std::move(it->second);
        m_windows.erase(it);
        return window;
    }

private:
    std::map<QScreen*, std::unique_ptr<Window>> m_windows;
};

// Ends a capture's overlays (hidden, their states dropped), releases the keyboard they held
// and empties the list.
template <typename Window>
void endOverlays(QList<QPointer<Window>>& windows, OverlayKeyboard& keyboard) {
    for (const auto& window : windows) {
        if (window) {
            window->end();
        }
    }
    windows.clear();
    keyboard.release();
}

// The windows still alive of a list of guarded pointers.
template <typename Window> QList<Window*> livingWindows(const QList<QPointer<Window>>& windows) {
    QList<Window*> result;
    for (const auto& window : windows) {
        if (window) {
            result.append(window);
        }
    }
    return result;
}

} // namespace ivra
