#include "app/AppDelegate.h"

#include <cstdio>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "diagnostics/CrashReporter.h"
#include "editor/ui/EditorCoordinator.h"
#include "presentation/ui/Appearance.h"
#include "settings/SettingsStore.h"

namespace ivra {

namespace {

void printError(const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

} // namespace

AppDelegate::AppDelegate(QApplication& app, SettingsStore& settings)
    : m_app(app)
    , m_settings(settings)
    , m_crashReporter(CrashReporter::forApplication())
    , m_captureRepository(std::make_unique<CaptureRepository>(settings)) {
    // A tray utility keeps running with no window open.
    m_app.setQuitOnLastWindowClosed(false);
    connect(&m_app, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
}

AppDelegate::~AppDelegate() = default;

std::optional<int> AppDelegate::applicationDidFinishLaunching(const LaunchOptions& options) {
    const auto exitStatus = runStartUp(options);
    if (exitStatus) {
        // Ending here is an orderly exit too, not a crash to report at the next start.
        applicationWillTerminate();
    }
    return exitStatus;
}

std::optional<int> AppDelegate::runStartUp(const LaunchOptions& options) {
    // 1. Crash reporting: deliver what an earlier run left, notice an unclean end of the
    //    previous run, mark this run as running, then catch fatal errors.
    m_crashReporter.flushPending();
    m_crashReporter.detectHardCrash();
    m_crashReporter.arm();
    m_crashReporter.install();

    // 2–4. The non-interactive render modes end the process.
    if (options.renderMarketingDirectory || options.renderSplashDirectory) {
        printError(QStringLiteral("ivra: the render modes are not available in this build."));
        return 2;
    }
    if (options.selftestRecord) {
        printError(QStringLiteral("ivra: the recording self-test is not available in this build."));
        return 2;
    }

    // 5. Taskbar presence ("show in Dock"): tool windows only when the user said no.
    WindowPolicy::setActivationPolicy(m_settings.showInDock() ? ActivationPolicy::Regular
                                                              : ActivationPolicy::Accessory);

    // 6. Always dark, whatever the desktop's theme.
    applyDarkAppearance(m_app);

    // A capture library that could not be opened was set aside; say so once.
    if (const auto notice = m_captureRepository->damagedStoreNotice()) {
        QTimer::singleShot(0, this, [this, text = *notice] { showDamagedStoreNotice(text); });
    }

    // Linux desktops do not ask the user for camera or microphone access per application
    // (device access is granted by the session or a portal at the moment of use), so the
    // permission requests of other desktops have no counterpart here.

    // `--edit FILE`: the image opens in an editor window; Ivra stays in the tray after.
    if (options.editFile) {
        QString error;
        if (!EditorCoordinator::shared().openFile(*options.editFile, &error)) {
            printError(QStringLiteral("ivra: %1").arg(error));
            return 1;
        }
    }
    return std::nullopt;
}

void AppDelegate::showDamagedStoreNotice(const QString& text) {
    auto* box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Ivra"), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    WindowPolicy::apply(*box);
    box->open();
}

void AppDelegate::applicationWillTerminate() {
    m_crashReporter.markCleanExit();
}

} // namespace ivra
