#include "app/AppDelegate.h"

#include <cstdio>

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "app/CaptureDispatcher.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/StatusItemController.h"
#include "capture/FrontmostApplication.h"
#include "capture/OverlayKeyboard.h"
#include "capture/ScreenCaptureBackend.h"
#include "capture/ui/AreaCaptureCoordinator.h"
#include "capture/ui/WindowPickerCoordinator.h"
#include "diagnostics/CrashReporter.h"
#include "editor/ui/EditorCoordinator.h"
#include "keyboard/HotkeyBackend.h"
#include "keyboard/KeyCodeNames.h"
#include "keyboard/KeyboardLayout.h"
#include "keyboard/ShortcutManager.h"
#include "library/ui/FloatingThumbnailManager.h"
#include "library/ui/HistoryBarController.h"
#include "platform/canberra/CanberraCaptureSound.h"
#include "presentation/ui/Appearance.h"
#include "recognition/ui/OCRResultWindow.h"
#include "recording/AudioCaptureSource.h"
#include "recording/RecordingSelfTest.h"
#include "services/ClipboardService.h"
#include "services/PointerPressMonitor.h"
#include "settings/SettingsStore.h"
#include "settings/ui/FolderChooserDialog.h"

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
        printError(QStringLiteral("ivra: the render modes are not available in this build"));
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

    // 10. The capture flows, then the tray item and its menu that start them.
    setUpCapture();
    setUpStatusItem();

    // 11. Global shortcuts.
    m_keyboardLayout = createKeyboardLayout();
    m_hotkeyBackend = createHotkeyBackend();
    if (m_hotkeyBackend) {
        m_shortcuts = std::make_unique<ShortcutManager>(*m_hotkeyBackend);
    }
    applyShortcutSettings();

    // Linux desktops do not ask the user for camera or microphone access per application
    // (device access is granted by the session or a portal at the moment of use), so the
    // permission requests of other desktops have no counterpart here.

    // 14. The recording self-test runs from the event loop and ends the process.
    if (options.selftestRecord) {
        runRecordingSelfTest();
    }

    return std::nullopt;
}

void AppDelegate::runRecordingSelfTest() {
    m_audioDevices = createAudioCaptureDevices();
    m_recordingSelfTest = std::make_unique<RecordingSelfTest>(RecordingSelfTest::Environment{
        m_captureBackend.get(),
        m_settings,
        m_audioDevices.get(),
        [](const QString& line) {
            std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
            std::fflush(stdout);
        },
        [](int exitStatus) { QCoreApplication::exit(exitStatus); },
    });
    QTimer::singleShot(0, m_recordingSelfTest.get(), &RecordingSelfTest::run);
}

std::optional<QString> AppDelegate::handleRequest(const LaunchOptions& options) {
    // `--edit FILE`: the image opens in an editor window; Ivra stays in the tray after.
    if (options.editFile) {
        QString error;
        if (!EditorCoordinator::shared().openFile(*options.editFile, &error)) {
            return error;
        }
    }
    if (options.capture) {
        if (!m_captureDispatcher) {
            return QStringLiteral("screen capture is not available in this session");
        }
        const CaptureAction action = *options.capture;
        // From the event loop, so a forwarded request is answered before a folder prompt
        // or a countdown starts.
        QTimer::singleShot(
            0, m_captureDispatcher.get(),
            [dispatcher = m_captureDispatcher.get(), action] { dispatcher->start(action); });
    }
    if (options.openSettings) {
        return QStringLiteral("the settings window is not available in this version of Ivra "
                              "yet");
    }
    if (options.openRecordingSetup) {
        return QStringLiteral("screen recording is not available in this version of Ivra yet");
    }
    return std::nullopt;
}

void AppDelegate::setUpCapture() {
    m_captureBackend = createScreenCaptureBackend();
    m_frontmostApplication = createFrontmostApplication();
    m_captureSound = platform::createCaptureSound();
    m_folderChooser = std::make_unique<FolderChooserDialog>();
    if (!m_captureBackend) {
        printError(QStringLiteral("ivra: this session offers no way to capture the screen"));
        return;
    }
    m_overlayKeyboard = createOverlayKeyboard();
    m_areaCapture = std::make_unique<AreaCaptureCoordinator>(AreaCaptureCoordinator::Services{
        *m_captureBackend,
        m_settings,
        *m_overlayKeyboard,
        EditorCoordinator::shared().services().backgroundRemover,
        [](const QImage& image) { return OCRService::recognizeText(image); },
        [](const QString& text) { OCRResultWindow::shared().show(text); },
    });
    m_windowPicker = std::make_unique<WindowPickerCoordinator>(WindowPickerCoordinator::Services{
        *m_captureBackend,
        m_settings,
        *m_overlayKeyboard,
        QCoreApplication::applicationPid(),
        QGuiApplication::desktopFileName(),
    });
    CaptureDispatcher::Services services{
        m_settings,
        *m_captureRepository,
        *m_captureBackend,
        *m_frontmostApplication,
        *m_captureSound,
        *m_folderChooser,
        [](const QImage& image) { ClipboardService::copy(image); },
        [](const QImage& image) { EditorCoordinator::shared().open(image); },
        [this](const CaptureRecord& record, const QImage& image) {
            thumbnailManager().present(record, image);
        },
        [] {
            QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
            return screen ? screen : QGuiApplication::primaryScreen();
        },
        [this](bool ocr, std::function<void(AreaCaptureResult)> completion) {
            m_areaCapture->beginCapture(ocr, std::move(completion));
        },
        [this](std::function<void(std::optional<QImage>)> completion) {
            m_windowPicker->beginPicking(std::move(completion));
        },
    };
    m_captureDispatcher = std::make_unique<CaptureDispatcher>(std::move(services));
    // The first grab of a display pays for fresh shared memory; pay it now, not at the
    // user's first capture.
    QTimer::singleShot(0, this, [this] {
        m_captureBackend->warmUp();
        m_areaCapture->warmUp();
    });
}

void AppDelegate::applyShortcutSettings() {
    if (m_shortcuts) {
        m_shortcuts->applySettings(m_settings, [this](CaptureAction action) {
            if (m_captureDispatcher) {
                m_captureDispatcher->start(action);
            }
        });
    }
    if (m_statusItem) {
        // Shown while the shortcut is on, even when the desktop refused it.
        const bool areaOn = m_shortcuts && m_settings.isHotKeyEnabled(CaptureAction::Area);
        m_statusItem->updateCaptureMenuTitle(
            areaOn ? std::optional(KeyCodeNames::displayText(
                         HotKeyBinding::stored(m_settings, CaptureAction::Area),
                         m_keyboardLayout.get()))
                   : std::nullopt);
    }
}

FloatingThumbnailManager& AppDelegate::thumbnailManager() {
    if (!m_thumbnailManager) {
        m_thumbnailManager = std::make_unique<FloatingThumbnailManager>(
            *m_captureRepository,
            [](const QImage& image) { EditorCoordinator::shared().open(image); });
    }
    return *m_thumbnailManager;
}

HistoryBarController& AppDelegate::historyBar() {
    if (!m_historyBar) {
        HistoryCardActions actions;
        actions.copyImage = [](const QImage& image) { ClipboardService::copy(image); };
        actions.openInEditor = [](const QImage& image) { EditorCoordinator::shared().open(image); };
        m_historyBar = std::make_unique<HistoryBarController>(
            *m_captureRepository, std::move(actions), createPointerPressMonitor());
    }
    return *m_historyBar;
}

void AppDelegate::setUpStatusItem() {
    CaptureDispatcher* dispatcher = m_captureDispatcher.get();
    // An empty action leaves its entry disabled until the feature is there.
    auto capture = [dispatcher](bool offered, CaptureAction action) {
        return offered ? std::function<void()>([dispatcher, action] { dispatcher->start(action); })
                       : std::function<void()>();
    };
    StatusItemActions actions;
    actions.captureArea =
        capture(dispatcher && dispatcher->offersAreaCapture(), CaptureAction::Area);
    actions.captureWindow =
        capture(dispatcher && dispatcher->offersWindowCapture(), CaptureAction::Window);
    actions.captureFullScreen = capture(dispatcher != nullptr, CaptureAction::FullScreen);
    actions.showAbout = [] { AboutDialog::present(); };
    actions.toggleHistory = [this] { historyBar().toggle(); };
    actions.quit = [] { QCoreApplication::quit(); };
    m_statusItem = std::make_unique<StatusItemController>(std::move(actions));
    if (!StatusItemController::hasSystemTray()) {
        printError(QStringLiteral("ivra: the desktop shows no system tray; use the command line "
                                  "or a desktop shortcut (see 'ivra --help')"));
    }
    m_statusItem->show();
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
