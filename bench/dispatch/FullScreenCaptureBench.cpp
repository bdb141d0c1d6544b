// A full-screen capture from the request to the stored PNG, the library record and the
// pinned card, on one 3840×2160 display showing an ordinary desktop, with the real X11
// backend. Also the longest time the interface thread was kept from its events on the
// way: encoding and writing belong on a worker.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "BenchSupport.h"
#include "app/CaptureDispatcher.h"
#include "capture/FrontmostApplication.h"
#include "capture/ScreenCaptureBackend.h"
#include "library/CaptureRepository.h"
#include "library/ScreenshotFixture.h"
#include "library/ui/FloatingThumbnailManager.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "services/CaptureSound.h"
#include "settings/FolderChooser.h"
#include "settings/SettingsStore.h"

using namespace ivra;

namespace {

constexpr int kRuns = 11;
constexpr int kPauseMs = 1000;

class NoPrompt final : public FolderChooser {
public:
    std::optional<QString> chooseFolder(const FolderChoiceRequest&) override { return {}; }
};

class Silence final : public CaptureSound {
public:
    void play() override {}
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir root;
    SettingsStore settings(
        std::make_shared<platform::IniKeyValueStore>(root.filePath(QStringLiteral("Ivra.conf"))));
    const QString folder = root.filePath(QStringLiteral("Pictures"));
    QDir().mkpath(folder);
    settings.setSaveDirectory(folder);
    CaptureRepository repository(settings, root.filePath(QStringLiteral("Vantrel")));
    repository.setRetentionLimit(std::nullopt);

    auto backend = createScreenCaptureBackend();
    auto frontmost = createFrontmostApplication();
    if (!backend || !frontmost) {
        std::fprintf(stderr, "no capture backend for this session\n");
        return 1;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen->size() * screen->devicePixelRatio() != QSize(3840, 2160)) {
        std::fprintf(stderr, "the primary screen is not 3840x2160\n");
        return 1;
    }

    // An ordinary desktop on the screen, so the PNG has real work to do.
    QLabel desktop;
    desktop.setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint);
    desktop.setPixmap(QPixmap::fromImage(bench::makeScreenshot(3840, 2160)));
    desktop.setGeometry(screen->geometry());
    desktop.show();
    if (!QTest::qWaitForWindowExposed(&desktop)) {
        std::fprintf(stderr, "the desktop picture did not show\n");
        return 1;
    }
    QTest::qWait(300);

    Silence sound;
    NoPrompt chooser;
    FloatingThumbnailManager thumbnails(repository, [](const QImage&) {});
    thumbnails.setAnimationDurationMs(0);
    CaptureDispatcher dispatcher({settings,
                                  repository,
                                  *backend,
                                  *frontmost,
                                  sound,
                                  chooser,
                                  [](const QImage&) {},
                                  [](const QImage&) {},
                                  [&](const CaptureRecord& record, const QImage& image) {
                                      thumbnails.present(record, image);
                                  },
                                  [screen] { return screen; },
                                  {},
                                  {}});

    // A 1 ms timer measures how late the event loop gets to it.
    QElapsedTimer sinceTick;
    double longestBlockMs = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestBlockMs = std::max(longestBlockMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });

    std::vector<double> times;
    std::vector<double> blocks;
    for (int run = 0; run <= kRuns; ++run) {
        // A person takes screenshots seconds apart, not back to back: let the previous
        // capture's background work (encoding, the next grab's memory) finish first.
        QTest::qWait(kPauseMs);
        QSignalSpy finished(&dispatcher, &CaptureDispatcher::requestFinished);
        longestBlockMs = 0;
        sinceTick.start();
        ticker.start();
        const auto start = std::chrono::steady_clock::now();
        dispatcher.start(CaptureAction::FullScreen);
        if (!finished.wait(10000)) {
            std::fprintf(stderr, "the capture did not finish\n");
            return 1;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        ticker.stop();
        if (thumbnails.entries().isEmpty() || repository.fetchAll().isEmpty()) {
            std::fprintf(stderr, "no card or no record after the capture\n");
            return 1;
        }
        // The first run warms the segment pool and the encoder's tables.
        if (run > 0) {
            times.push_back(ms);
            blocks.push_back(longestBlockMs);
        }
    }
    bench::report("fullscreen_capture_4k", bench::median(times), "ms");
    bench::report("fullscreen_capture_4k_ui_block", bench::median(blocks), "ms");
    bench::report("fullscreen_capture_4k_ui_block_max",
                  *std::max_element(blocks.begin(), blocks.end()), "ms");
    return 0;
}
