#include "capture/ui/WindowPickerCoordinator.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "capture/OverlayKeyboard.h"
#include "capture/WindowPickerState.h"
#include "capture/ui/WindowPickerWindow.h"

namespace ivra {

WindowPickerCoordinator::WindowPickerCoordinator(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_captureService(m_services.backend, m_services.settings)
    , m_overlays(m_services.keyboard) {
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen* screen) {
        m_overlays.forget(screen, [this] { finish(std::nullopt); });
    });
}

WindowPickerCoordinator::~WindowPickerCoordinator() {
    if (m_isActive) {
        m_services.keyboard.release();
    }
}

QList<WindowPickerWindow*> WindowPickerCoordinator::windows() const {
    return m_overlays.shown();
}

void WindowPickerCoordinator::beginPicking(std::function<void(std::optional<QImage>)> completion) {
    if (m_isActive) {
        return;
    }
    m_isActive = true;
    m_completion = std::move(completion);
    m_services.keyboard.holdKeys();
    QPointer<WindowPickerCoordinator> self(this);
    m_services.backend.shareableContent(
        true, true, [self](CaptureResult<ShareableContent> content) {
            if (!self) {
                return;
            }
            if (!content) {
                self->finish(std::nullopt);
                return;
            }
            const QList<CaptureWindow> pickable =
                WindowPickerState::pickable(content.value().windows, self->m_services.ownPid,
                                            self->m_services.ownApplicationID);
            if (pickable.isEmpty()) {
                self->finish(std::nullopt);
                return;
            }
            // The displays as they are now, under overlays that cannot be see-through.
            self->m_captureService.captureFrozenFrames(
                content.value().displays,
                [self, pickable](CaptureResult<QMap<DisplayID, QImage>> frames) {
                    if (!self) {
                        return;
                    }
                    if (!frames) {
                        self->finish(std::nullopt);
                        return;
                    }
                    self->present(pickable, frames.value());
                });
        });
}

void WindowPickerCoordinator::present(const QList<CaptureWindow>& pickable,
                                      const QMap<DisplayID, QImage>& frames) {
    QPointer<WindowPickerCoordinator> self(this);
    for (QScreen* screen : QGuiApplication::screens()) {
        const std::optional<DisplayID> id = m_services.backend.displayID(*screen);
        if (!id || !frames.contains(*id)) {
            continue;
        }
        const QRect frame = screen->geometry();
        auto state = std::make_unique<WindowPickerState>(
            WindowPickerState::candidatesFor(pickable, frame), QSizeF(frame.size()),
            [self] {
                if (self) {
                    self->finish(std::nullopt);
                }
            },
            [self](const CaptureWindow& window) {
                if (self) {
                    self->select(window);
                }
            });
        WindowPickerWindow& window = m_overlays.windowFor(screen);
        window.begin(frames.value(*id), std::move(state));
        m_overlays.show(window);
    }
    const QList<WindowPickerWindow*> shown = m_overlays.shown();
    if (shown.isEmpty()) {
        finish(std::nullopt);
        return;
    }
    m_overlays.giveKeysTo(*shown.last());
    emit overlaysShown();
}

void WindowPickerCoordinator::select(const CaptureWindow& window) {
    // The overlays stay until the image is there; only that window is in it.
    QPointer<WindowPickerCoordinator> self(this);
    m_captureService.captureWindow(window, [self](CaptureResult<QImage> image) {
        if (self) {
            self->finish(image ? std::optional(image.value()) : std::nullopt);
        }
    });
}

void WindowPickerCoordinator::finish(std::optional<QImage> image) {
    if (!m_isActive) {
        return;
    }
    m_overlays.endAll();
    m_isActive = false;
    auto completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion) {
        completion(std::move(image));
    }
}

} // namespace ivra
