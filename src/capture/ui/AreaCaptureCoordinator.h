#pragma once

#include <functional>
#include <memory>

#include <QFuture>
#include <QImage>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>

#include "capture/AreaCaptureResult.h"
#include "capture/ScreenCaptureService.h"
#include "capture/ui/AreaSelectionWindow.h"
#include "capture/ui/OverlaySupport.h"
#include "recognition/OCRService.h"

class QScreen;

namespace ivra {

class BackgroundRemover;
class OverlayKeyboard;
class SettingsStore;

// Runs one area capture across every display: freezes them all first, covers each with
// its overlay showing its frozen frame, and turns the first ending of any overlay into
// exactly one result for the caller. One coordinator lives for the application's run; a
// request made while a capture runs is dropped (its completion never called).
//
// The overlay windows are kept, hidden, between captures (one per screen), and the
// keyboard is held from the request on, so a key typed right after the shortcut reaches
// the overlay even before it is on screen.
class AreaCaptureCoordinator : public QObject {
    Q_OBJECT

public:
    struct Services {
        ScreenCaptureBackend& backend;
        SettingsStore& settings;
        OverlayKeyboard& keyboard;
        std::shared_ptr<const BackgroundRemover> backgroundRemover;
        std::function<QFuture<RecognitionResult>(const QImage&)> recognizeText;
        std::function<void(const QString&)> showRecognizedText;
    };

    explicit AreaCaptureCoordinator(Services services, QObject* parent = nullptr);
    ~AreaCaptureCoordinator() override;

    // `ocr`: confirming a selection reads its text instead of annotating it. `completion`
    // runs once, on the main thread, after the overlays are gone.
    void beginCapture(bool ocr, std::function<void(AreaCaptureResult)> completion);
    bool isActive() const { return m_isActive; }
    // The overlays of the running capture, in the order of the screens; empty when idle.
    QList<AreaSelectionWindow*> windows() const;
    // Creates the overlay windows and their backing stores ahead of the first capture.
    void warmUp();

signals:
    // Every overlay of a capture is shown (for automation and benchmarks).
    void overlaysShown();

private:
    void presentOverlays(const QMap<DisplayID, QImage>& frozenFrames, bool ocr);
    void finish(AreaCaptureResult result);

    Services m_services;
    ScreenCaptureService m_captureService;
    OverlaySet<AreaSelectionWindow> m_overlays;
    std::function<void(AreaCaptureResult)> m_completion;
    bool m_isActive = false;
};

} // namespace ivra
