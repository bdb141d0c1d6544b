#pragma once

#include <memory>
#include <optional>

#include <QObject>

#include "app/CommandLine.h"
#include "diagnostics/CrashReporter.h"
#include "library/CaptureRepository.h"

class QApplication;

namespace ivra {

class AreaCaptureCoordinator;
class WindowPickerCoordinator;
class AudioCaptureDevices;
class CaptureDispatcher;
class OverlayKeyboard;
class HotkeyBackend;
class KeyboardLayout;
class ShortcutManager;
class CaptureSound;
class FloatingThumbnailManager;
class HistoryBarController;
class FolderChooser;
class FrontmostApplication;
class RecordingSelfTest;
class ScreenCaptureBackend;
class SettingsStore;
class StatusItemController;

// Lives for the whole run: builds the long-lived objects in a fixed order and wires
// them together. Flows live in their coordinators; the delegate decides nothing itself.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    AppDelegate(QApplication& app, SettingsStore& settings);
    ~AppDelegate() override;

    // The start-up sequence. Returns an exit status when the launch ends the process at
    // once (a mode that is not available, say), or nothing to go on into the event loop.
    std::optional<int> applicationDidFinishLaunching(const LaunchOptions& options);

    // A request from the command line, of this process or forwarded by a second `ivra`:
    // open a file in the editor, start a capture, open a window. A message for the user
    // when it cannot be done (a file that cannot be read), nothing otherwise.
    std::optional<QString> handleRequest(const LaunchOptions& options);

    CaptureRepository& captureRepository() { return *m_captureRepository; }
    // Nothing when this session offers no screen capture at all.
    CaptureDispatcher* captureDispatcher() { return m_captureDispatcher.get(); }
    FloatingThumbnailManager& thumbnailManager();
    // The history shelf, made on the first click of the tray item.
    HistoryBarController& historyBar();

    // Called once just before the process ends normally.
    void applicationWillTerminate();

    // Registers the capture shortcuts as the settings say and shows the area capture's in
    // the tray menu: at launch, and again whenever a shortcut setting changes.
    void applyShortcutSettings();

private:
    std::optional<int> runStartUp(const LaunchOptions& options);
    void showDamagedStoreNotice(const QString& text);
    void setUpCapture();
    void setUpStatusItem();
    void runRecordingSelfTest();

    QApplication& m_app;
    SettingsStore& m_settings;
    CrashReporter m_crashReporter;
    std::unique_ptr<CaptureRepository> m_captureRepository;
    std::unique_ptr<ScreenCaptureBackend> m_captureBackend;
    std::unique_ptr<FrontmostApplication> m_frontmostApplication;
    std::unique_ptr<CaptureSound> m_captureSound;
    std::unique_ptr<FolderChooser> m_folderChooser;
    std::unique_ptr<OverlayKeyboard> m_overlayKeyboard;
    std::unique_ptr<AreaCaptureCoordinator> m_areaCapture;
    std::unique_ptr<WindowPickerCoordinator> m_windowPicker;
    std::unique_ptr<CaptureDispatcher> m_captureDispatcher;
    // Created on first use.
    std::unique_ptr<FloatingThumbnailManager> m_thumbnailManager;
    std::unique_ptr<HistoryBarController> m_historyBar;
    std::unique_ptr<StatusItemController> m_statusItem;
    std::unique_ptr<KeyboardLayout> m_keyboardLayout;
    std::unique_ptr<HotkeyBackend> m_hotkeyBackend;
    std::unique_ptr<ShortcutManager> m_shortcuts;
    std::unique_ptr<AudioCaptureDevices> m_audioDevices;
    std::unique_ptr<RecordingSelfTest> m_recordingSelfTest;
};

} // namespace ivra
