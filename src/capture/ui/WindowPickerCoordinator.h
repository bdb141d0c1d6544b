#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>

#include "capture/ScreenCaptureService.h"
#include "capture/ui/OverlaySupport.h"
#include "capture/ui/WindowPickerWindow.h"

class QScreen;

namespace ivra {

class OverlayKeyboard;
class SettingsStore;

// Runs one window pick: every display covered by its picker overlay, the window under the
// pointer outlined, a click captures that window alone, Escape cancels. The completion runs
// once per accepted start, on the main thread, with the image or nothing; a start while a
// pick runs is dropped.
class WindowPickerCoordinator : public QObject {
    Q_OBJECT

public:
    struct Services {
        ScreenCaptureBackend& backend;
        SettingsStore& settings;
        OverlayKeyboard& keyboard;
        qint64 ownPid;
        QString ownApplicationID;
    };

    explicit WindowPickerCoordinator(Services services, QObject* parent = nullptr);
    ~WindowPickerCoordinator() override;

    void beginPicking(std::function<void(std::optional<QImage>)> completion);
    bool isActive() const { return m_isActive; }
    QList<WindowPickerWindow*> windows() const;

signals:
    void overlaysShown();

private:
    void present(const QList<CaptureWindow>& pickable, const QMap<DisplayID, QImage>& frames);
    void select(const CaptureWindow& window);
    void finish(std::optional<QImage> image);

    Services m_services;
    ScreenCaptureService m_captureService;
    OverlaySet<WindowPickerWindow> m_overlays;
    std::function<void(std::optional<QImage>)> m_completion;
    bool m_isActive = false;
};

} // namespace ivra
