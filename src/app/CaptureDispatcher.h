#pragma once

#include <functional>
#include <optional>

#include <QImage>
#include <QObject>
#include <QString>

#include "capture/AreaCaptureResult.h"
#include "capture/ScreenCaptureService.h"
#include "library/CaptureRecord.h"
#include "settings/SettingsEnums.h"

class QScreen;

namespace ivra {

class CaptureRepository;
class CaptureSound;
class FolderChooser;
class FrontmostApplication;
class ScreenCaptureBackend;
class SettingsStore;

// Where every capture request arrives (tray menu, shortcut, command line, D-Bus): notes
// the application in front, waits out the countdown, starts the flow, and decides what
// happens with the image afterwards: stored and pinned, copied, or opened in the editor,
// with the capture sound. Keeps no state of its own between requests. Main thread only.
class CaptureDispatcher : public QObject {
    Q_OBJECT
public:
    using ImageAction = std::function<void(const QImage&)>;
    using AreaFlow = std::function<void(bool ocr, std::function<void(AreaCaptureResult)>)>;
    using WindowFlow = std::function<void(std::function<void(std::optional<QImage>)>)>;

    struct Services {
        SettingsStore& settings;
        CaptureRepository& repository;
        ScreenCaptureBackend& backend;
        FrontmostApplication& frontmost;
        CaptureSound& sound;
        FolderChooser& folderChooser;
        ImageAction copyToClipboard;
        ImageAction openInEditor;
        std::function<void(const CaptureRecord&, const QImage&)> presentThumbnail;
        // The screen the user works on: under the pointer, else the primary one.
        std::function<QScreen*()> focusedScreen;
        // The area overlay and the window picker, which guard against a second request
        // while they run. Empty while Ivra has no such flow; requests then end unanswered.
        AreaFlow beginAreaCapture;
        WindowFlow beginWindowPicking;
    };

    explicit CaptureDispatcher(Services services, QObject* parent = nullptr);

    // Every request, whatever started it. Ends at once while the folder prompt is open.
    void start(CaptureAction action);

    bool offersAreaCapture() const { return bool(m_services.beginAreaCapture); }
    bool offersWindowCapture() const { return bool(m_services.beginWindowPicking); }

    // After-capture steps, public for the flows that end elsewhere.
    void handleAreaResult(const AreaCaptureResult& result,
                          const std::optional<QString>& sourceAppBundleID);
    void handleDirectCapture(const QImage& image, const std::optional<QString>& sourceAppBundleID);
    void pin(const QImage& image, const std::optional<QString>& sourceAppBundleID);

Q_SIGNALS:
    // A request came to its end: the image is delivered (stored, copied or shown) or the
    // request ended without one. For the benchmark and for tests.
    void requestFinished();

private:
    void startAreaCapture();
    void startWindowCapture();
    void startFullScreenCapture();
    void startOCRCapture();
    // The first-use folder prompt (modal); requests arriving meanwhile are dropped.
    void ensureSaveDestination();
    // Runs `action` now, or after "countdownSeconds" whole seconds.
    void withCountdown(std::function<void()> action);
    void captureFocusedScreen(const std::optional<QString>& sourceAppBundleID);
    // Stores and pins without asking for a folder first.
    void pinStored(const QImage& image, const std::optional<QString>& sourceAppBundleID);
    void playCaptureSound();
    void store(const QImage& image, const std::optional<QString>& sourceAppBundleID,
               std::function<void(std::optional<CaptureRecord>)> done);

    Services m_services;
    ScreenCaptureService m_captureService;
    bool m_askingForFolder = false;
};

} // namespace ivra
