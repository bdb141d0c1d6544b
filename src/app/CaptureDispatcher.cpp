#include "app/CaptureDispatcher.h"

#include <chrono>

#include <QDateTime>
#include <QScreen>
#include <QTimer>

#include "capture/FrontmostApplication.h"
#include "capture/ScreenCaptureBackend.h"
#include "library/CaptureRepository.h"
#include "services/CaptureSound.h"
#include "settings/SettingsStore.h"

namespace ivra {

CaptureDispatcher::CaptureDispatcher(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_captureService(m_services.backend, m_services.settings) {
}

void CaptureDispatcher::start(CaptureAction action) {
    if (m_askingForFolder) {
        // The folder prompt of the previous capture is still open: a second capture would
        // show it in the picture and stack a second prompt on it.
        Q_EMIT requestFinished();
        return;
    }
    switch (action) {
    case CaptureAction::Area:
        startAreaCapture();
        return;
    case CaptureAction::Window:
        startWindowCapture();
        return;
    case CaptureAction::FullScreen:
        startFullScreenCapture();
        return;
    case CaptureAction::Ocr:
        break;
    }
    startOCRCapture();
}

void CaptureDispatcher::withCountdown(std::function<void()> action) {
    const int seconds = m_services.settings.countdownSeconds();
    if (seconds < 1) {
        action();
        return;
    }
    // No countdown is shown; a later request does not cancel this one. A coarse timer
    // could fire up to 5 % early, before the user has arranged the screen.
    QTimer::singleShot(std::chrono::seconds(seconds), Qt::PreciseTimer, this, std::move(action));
}

void CaptureDispatcher::startAreaCapture() {
    const auto source = m_services.frontmost.currentApplicationID();
    withCountdown([this, source] {
        if (!m_services.beginAreaCapture) {
            Q_EMIT requestFinished();
            return;
        }
        m_services.beginAreaCapture(false, [this, source](const AreaCaptureResult& result) {
            handleAreaResult(result, source);
        });
    });
}

void CaptureDispatcher::startOCRCapture() {
    withCountdown([this] {
        if (!m_services.beginAreaCapture) {
            Q_EMIT requestFinished();
            return;
        }
        // Recognition and copying of the text happen inside the overlay; nothing is stored.
        m_services.beginAreaCapture(true,
                                    [this](const AreaCaptureResult&) { Q_EMIT requestFinished(); });
    });
}

void CaptureDispatcher::startWindowCapture() {
    const auto source = m_services.frontmost.currentApplicationID();
    withCountdown([this, source] {
        if (!m_services.beginWindowPicking) {
            Q_EMIT requestFinished();
            return;
        }
        m_services.beginWindowPicking([this, source](const std::optional<QImage>& image) {
            if (image && !image->isNull()) {
                handleDirectCapture(*image, source);
            } else {
                Q_EMIT requestFinished();
            }
        });
    });
}

void CaptureDispatcher::startFullScreenCapture() {
    const auto source = m_services.frontmost.currentApplicationID();
    // The screen is the one the user works on when the countdown ends.
    withCountdown([this, source] { captureFocusedScreen(source); });
}

void CaptureDispatcher::captureFocusedScreen(const std::optional<QString>& sourceAppBundleID) {
    QScreen* screen = m_services.focusedScreen ? m_services.focusedScreen() : nullptr;
    const auto displayID = screen ? m_services.backend.displayID(*screen) : std::nullopt;
    if (!displayID) {
        Q_EMIT requestFinished();
        return;
    }
    // Platform failures end a full-screen capture silently, as the user asked for no
    // window that could show them; the reason goes to the log.
    auto fail = [this](const CaptureError& error) {
        qWarning("Ivra: the screen could not be captured: %s", qPrintable(error.description));
        Q_EMIT requestFinished();
    };
    m_services.backend.shareableContent(
        true, true,
        [this, id = *displayID, sourceAppBundleID,
         fail](const CaptureResult<ShareableContent>& content) {
            if (!content) {
                fail(content.error());
                return;
            }
            const auto& displays = content.value().displays;
            const auto display = std::find_if(displays.begin(), displays.end(),
                                              [id](const auto& d) { return d.displayID == id; });
            if (display == displays.end()) {
                Q_EMIT requestFinished();
                return;
            }
            m_captureService.captureFrozenFrame(
                *display, [this, sourceAppBundleID, fail](const CaptureResult<QImage>& image) {
                    if (!image) {
                        fail(image.error());
                        return;
                    }
                    handleDirectCapture(image.value(), sourceAppBundleID);
                });
        });
}

void CaptureDispatcher::handleAreaResult(const AreaCaptureResult& result,
                                         const std::optional<QString>& sourceAppBundleID) {
    switch (result.kind) {
    case AreaCaptureResult::Kind::Pinned:
        pin(result.image, sourceAppBundleID);
        return;
    case AreaCaptureResult::Kind::Copied:
        // The overlay has already put the image on the clipboard.
        playCaptureSound();
        store(result.image, sourceAppBundleID,
              [this](const std::optional<CaptureRecord>&) { Q_EMIT requestFinished(); });
        return;
    case AreaCaptureResult::Kind::Dismissed:
        playCaptureSound();
        break;
    case AreaCaptureResult::Kind::Cancelled:
        break;
    }
    Q_EMIT requestFinished();
}

void CaptureDispatcher::ensureSaveDestination() {
    m_askingForFolder = true;
    m_services.settings.ensureSaveDestination(m_services.folderChooser);
    m_askingForFolder = false;
}

void CaptureDispatcher::handleDirectCapture(const QImage& image,
                                            const std::optional<QString>& sourceAppBundleID) {
    ensureSaveDestination();
    switch (m_services.settings.afterCaptureAction()) {
    case AfterCaptureAction::Copy:
        // Copied even when nothing could be stored.
        m_services.copyToClipboard(image);
        playCaptureSound();
        break;
    case AfterCaptureAction::Editor:
        m_services.openInEditor(image);
        playCaptureSound();
        break;
    case AfterCaptureAction::Pin:
        // The user has just been asked; a cancelled prompt is not asked again.
        pinStored(image, sourceAppBundleID);
        return;
    }
    store(image, sourceAppBundleID,
          [this](const std::optional<CaptureRecord>&) { Q_EMIT requestFinished(); });
}

void CaptureDispatcher::pin(const QImage& image, const std::optional<QString>& sourceAppBundleID) {
    ensureSaveDestination();
    pinStored(image, sourceAppBundleID);
}

void CaptureDispatcher::pinStored(const QImage& image,
                                  const std::optional<QString>& sourceAppBundleID) {
    store(image, sourceAppBundleID, [this, image](const std::optional<CaptureRecord>& record) {
        if (record) {
            m_services.presentThumbnail(*record, image);
            playCaptureSound();
            if (m_services.settings.autoCopyOnCapture()) {
                m_services.copyToClipboard(image);
            }
        } else {
            // Not stored (no folder chosen, or the write failed): the clipboard keeps the
            // capture from being lost.
            m_services.copyToClipboard(image);
        }
        Q_EMIT requestFinished();
    });
}

void CaptureDispatcher::store(const QImage& image, const std::optional<QString>& sourceAppBundleID,
                              std::function<void(std::optional<CaptureRecord>)> done) {
    // Encoding a large capture takes longer than a frame: it runs off the interface thread.
    m_services.repository.insertInBackground(image, sourceAppBundleID, QDateTime::currentDateTime(),
                                             std::move(done));
}

void CaptureDispatcher::playCaptureSound() {
    if (m_services.settings.playSoundOnCapture()) {
        m_services.sound.play();
    }
}

} // namespace ivra
