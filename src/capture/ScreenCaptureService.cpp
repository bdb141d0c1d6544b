#include "capture/ScreenCaptureService.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QGuiApplication>
#include <QScreen>

#include "settings/SettingsStore.h"

namespace ivra {

ScreenCaptureService::ScreenCaptureService(ScreenCaptureBackend& backend,
                                           const SettingsStore& settings)
    : m_backend(backend)
    , m_settings(settings) {
}

QList<ScreenCaptureService::ScreenInfo>
ScreenCaptureService::screenInfos(const ScreenCaptureBackend& backend) {
    QList<ScreenInfo> infos;
    if (qGuiApp == nullptr) {
        return infos;
    }
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        infos << ScreenInfo{backend.displayID(*screen), screen->geometry(),
                            screen->devicePixelRatio()};
    }
    return infos;
}

double ScreenCaptureService::displayScale(DisplayID display, const QList<ScreenInfo>& screens) {
    for (const ScreenInfo& screen : screens) {
        if (screen.displayID == display) {
            return screen.devicePixelRatio;
        }
    }
    return kFallbackScale;
}

double ScreenCaptureService::windowScale(const QRectF& framePt, const QList<ScreenInfo>& screens) {
    for (const ScreenInfo& screen : screens) {
        if (QRectF(screen.geometry).intersects(framePt)) {
            return screen.devicePixelRatio;
        }
    }
    return kFallbackScale;
}

QSize ScreenCaptureService::displaySizePx(const CaptureDisplay& display, double scale) {
    return QSize(int(std::trunc(display.width() * scale)),
                 int(std::trunc(display.height() * scale)));
}

QSize ScreenCaptureService::windowSizePx(const QRectF& framePt, double scale) {
    return QSize(std::max(1, int(std::trunc(framePt.width() * scale))),
                 std::max(1, int(std::trunc(framePt.height() * scale))));
}

void ScreenCaptureService::captureFrozenFrame(const CaptureDisplay& display,
                                              std::function<void(CaptureResult<QImage>)> done) {
    CaptureConfiguration configuration;
    configuration.sizePx =
        displaySizePx(display, displayScale(display.displayID, screenInfos(m_backend)));
    configuration.showsCursor = m_settings.showCursorInCapture();
    m_backend.captureImage(ContentFilter::display(display.displayID), configuration,
                           std::move(done));
}

void ScreenCaptureService::captureFrozenFrames(
    const QList<CaptureDisplay>& displays,
    std::function<void(CaptureResult<QMap<DisplayID, QImage>>)> done) {
    captureNext(displays, {}, std::move(done));
}

void ScreenCaptureService::captureNext(
    QList<CaptureDisplay> remaining, QMap<DisplayID, QImage> images,
    std::function<void(CaptureResult<QMap<DisplayID, QImage>>)> done) {
    if (remaining.isEmpty()) {
        done(std::move(images));
        return;
    }
    const CaptureDisplay display = remaining.takeFirst();
    // The next display is asked for only once this one has answered.
    captureFrozenFrame(display,
                       [this, display, remaining = std::move(remaining), images = std::move(images),
                        done = std::move(done)](CaptureResult<QImage> result) mutable {
                           if (!result) {
                               done(result.error());
                               return;
                           }
                           images.insert(display.displayID, std::move(result.value()));
                           captureNext(std::move(remaining), std::move(images), std::move(done));
                       });
}

void ScreenCaptureService::captureWindow(const CaptureWindow& window,
                                         std::function<void(CaptureResult<QImage>)> done) {
    CaptureConfiguration configuration;
    configuration.sizePx =
        windowSizePx(window.frame, windowScale(window.frame, screenInfos(m_backend)));
    configuration.showsCursor = m_settings.showCursorInCapture();
    configuration.scalesToFit = false;
    configuration.ignoresShadows = false;
    m_backend.captureImage(ContentFilter::window(window.windowID), configuration, std::move(done));
}

} // namespace ivra
