#pragma once

#include <memory>
#include <optional>

#include <QObject>

#include "app/CommandLine.h"
#include "diagnostics/CrashReporter.h"
#include "library/CaptureRepository.h"

class QApplication;

namespace ivra {

class SettingsStore;

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

    CaptureRepository& captureRepository() { return *m_captureRepository; }

    // Called once just before the process ends normally.
    void applicationWillTerminate();

private:
    std::optional<int> runStartUp(const LaunchOptions& options);
    void showDamagedStoreNotice(const QString& text);

    QApplication& m_app;
    SettingsStore& m_settings;
    CrashReporter m_crashReporter;
    std::unique_ptr<CaptureRepository> m_captureRepository;
};

} // namespace ivra
