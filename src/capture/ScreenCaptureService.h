#pragma once

#include <functional>

#include <QImage>
#include <QList>
#include <QMap>
#include <QRectF>
#include <QSize>

#include "capture/ScreenCaptureBackend.h"

class QScreen;

namespace ivra {

class SettingsStore;

// Still images of a display, of several displays at once (frozen frames) or of one window,
// at the display's full pixel density. Holds no state between calls; the pointer setting
// and the screen list are read at each call.
class ScreenCaptureService {
public:
    // The scale used when no screen matches.
    static constexpr double kFallbackScale = 2.0;

    ScreenCaptureService(ScreenCaptureBackend& backend, const SettingsStore& settings);

    void captureFrozenFrame(const CaptureDisplay& display,
                            std::function<void(CaptureResult<QImage>)> done);
    // One display after another, in the list's order; the first failure ends the request
    // and discards every image taken. A later display with the same id replaces an earlier
    // one.
    void captureFrozenFrames(const QList<CaptureDisplay>& displays,
                             std::function<void(CaptureResult<QMap<DisplayID, QImage>>)> done);
    void captureWindow(const CaptureWindow& window,
                       std::function<void(CaptureResult<QImage>)> done);

    // The size rules, on plain values.
    struct ScreenInfo {
        std::optional<DisplayID> displayID;
        QRect geometry; // points
        double devicePixelRatio = 1.0;
    };
    static QList<ScreenInfo> screenInfos(const ScreenCaptureBackend& backend);
    static double displayScale(DisplayID display, const QList<ScreenInfo>& screens);
    static double windowScale(const QRectF& framePt, const QList<ScreenInfo>& screens);
    static QSize displaySizePx(const CaptureDisplay& display, double scale);
    static QSize windowSizePx(const QRectF& framePt, double scale);

private:
    void captureNext(QList<CaptureDisplay> remaining, QMap<DisplayID, QImage> images,
                     std::function<void(CaptureResult<QMap<DisplayID, QImage>>)> done);

    ScreenCaptureBackend& m_backend;
    const SettingsStore& m_settings;
};

} // namespace ivra
