#include "capture/ui/AreaCaptureCoordinator.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "capture/OverlayKeyboard.h"
#include "capture/ui/AreaSelectionWindow.h"
#include "services/ClipboardService.h"

namespace ivra {

AreaCaptureCoordinator::AreaCaptureCoordinator(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_captureService(m_services.backend, m_services.settings)
    , m_overlays(m_services.keyboard) {
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen* screen) {
        // The display went away under its overlay: nothing left to select on there.
        m_overlays.forget(screen, [this] { finish(AreaCaptureResult::cancelled()); });
    });
}

AreaCaptureCoordinator::~AreaCaptureCoordinator() {
    if (m_isActive) {
        m_services.keyboard.release();
    }
}

QList<AreaSelectionWindow*> AreaCaptureCoordinator::windows() const {
    return m_overlays.shown();
}

void AreaCaptureCoordinator::warmUp() {
    for (QScreen* screen : QGuiApplication::screens()) {
        m_overlays.windowFor(screen).warmUp();
    }
}

void AreaCaptureCoordinator::beginCapture(bool ocr,
                                          std::function<void(AreaCaptureResult)> completion) {
    if (m_isActive) {
        return;
    }
    m_isActive = true;
    m_completion = std::move(completion);
    // From here on keys wait for the overlay.
    m_services.keyboard.holdKeys();
    QPointer<AreaCaptureCoordinator> self(this);
    m_services.backend.shareableContent(
        true, true, [self, ocr](CaptureResult<ShareableContent> content) {
            if (!self) {
                return;
            }
            if (!content) {
                self->finish(AreaCaptureResult::cancelled());
                return;
            }
            self->m_captureService.captureFrozenFrames(
                content.value().displays,
                [self, ocr](CaptureResult<QMap<DisplayID, QImage>> frames) {
                    if (!self) {
                        return;
                    }
                    if (!frames) {
                        self->finish(AreaCaptureResult::cancelled());
                        return;
                    }
                    self->presentOverlays(frames.value(), ocr);
                });
        });
}

void AreaCaptureCoordinator::presentOverlays(const QMap<DisplayID, QImage>& frozenFrames,
                                             bool ocr) {
    if (frozenFrames.isEmpty()) {
        finish(AreaCaptureResult::cancelled());
        return;
    }
    QPointer<AreaCaptureCoordinator> self(this);
    const auto ending = [self](auto makeResult) {
        return [self, makeResult](auto&&... image) {
            if (self) {
                self->finish(makeResult(image...));
            }
        };
    };
    for (QScreen* screen : QGuiApplication::screens()) {
        const std::optional<DisplayID> id = m_services.backend.displayID(*screen);
        if (!id || !frozenFrames.contains(*id)) {
            continue; // e.g. a display attached after the frames were taken
        }
        AreaSelectionWindow& window = m_overlays.windowFor(screen);
        AreaSelectionWindow::Endings endings{
            ending([] { return AreaCaptureResult::cancelled(); }),
            [self](QImage image) {
                if (self) {
                    // On the clipboard before the caller hears of it.
                    ClipboardService::copy(image);
                    self->finish(AreaCaptureResult::copied(std::move(image)));
                }
            },
            ending([](QImage image) { return AreaCaptureResult::pinned(std::move(image)); }),
            ending([] { return AreaCaptureResult::dismissed(); }),
        };
        window.begin(frozenFrames.value(*id), std::move(endings),
                     {m_services.settings, m_services.backgroundRemover, m_services.recognizeText,
                      m_services.showRecognizedText});
        AreaSelectionState* state = window.state();
        state->setOcrMode(ocr);
        QPointer<AreaSelectionWindow> annotated(&window);
        state->setOnAnnotationBegan([self, annotated] {
            if (!self || !annotated) {
                return;
            }
            // Annotation goes on on this display alone.
            for (AreaSelectionWindow* other : self->m_overlays.shown()) {
                if (other != annotated) {
                    other->hide();
                }
            }
            self->m_overlays.giveKeysTo(*annotated);
        });
        m_overlays.show(window);
    }
    const QList<AreaSelectionWindow*> shown = m_overlays.shown();
    if (shown.isEmpty()) {
        // Frames, but no screen showing any of them: nothing to select on.
        finish(AreaCaptureResult::cancelled());
        return;
    }
    m_overlays.giveKeysTo(*shown.last());
    emit overlaysShown();
}

void AreaCaptureCoordinator::finish(AreaCaptureResult result) {
    if (!m_isActive) {
        return;
    }
    m_overlays.endAll();
    m_isActive = false;
    auto completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion) {
        completion(std::move(result));
    }
}

} // namespace ivra
