// Frozen frames of every display (what the area capture takes before its overlay shows)
// against Qt's own grab of the same screens, in the same run.

#include <cstdio>
#include <optional>

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include "BenchSupport.h"
#include "capture/ScreenCaptureService.h"
#include "platform/x11/X11ScreenCaptureBackend.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"

using namespace ivra;

namespace {

constexpr int kRuns = 15;

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    auto backend = platform::X11ScreenCaptureBackend::create();
    if (!backend) {
        std::fprintf(stderr, "no X server\n");
        return 1;
    }
    SettingsStore settings(std::make_shared<platform::IniKeyValueStore>(
        QDir::temp().filePath(QStringLiteral("bench.conf"))));
    ScreenCaptureService service(*backend, settings);

    QList<CaptureDisplay> displays;
    backend->shareableContent(true, true, [&](CaptureResult<ShareableContent> content) {
        if (content) {
            displays = content.value().displays;
        }
    });
    if (displays.size() != 2) {
        std::fprintf(stderr, "expected two displays, found %lld\n",
                     static_cast<long long>(displays.size()));
        return 1;
    }

    backend->warmUp();
    bool failed = false;
    const double oursMs = bench::medianMs(kRuns, [&] {
        // The X11 backend answers before the call returns.
        service.captureFrozenFrames(displays, [&](CaptureResult<QMap<DisplayID, QImage>> frames) {
            failed |= !frames || frames.value().size() != 2;
        });
    });
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        screen->grabWindow(0); // Qt's first grab pays its own start-up costs
    }
    const double qtMs = bench::medianMs(kRuns, [&] {
        for (QScreen* screen : screens) {
            const QPixmap frame = screen->grabWindow(0);
            failed |= frame.isNull();
        }
    });
    if (failed) {
        std::fprintf(stderr, "a capture failed\n");
        return 1;
    }
    const QByteArray name = QByteArrayLiteral("frozen_frames_") + IVRA_BENCH_LAYOUT;
    bench::report(name.constData(), oursMs, "ms");
    bench::report((name + "_qt").constData(), qtMs, "ms");
    bench::report(
        (name == "frozen_frames_2x4k" ? QByteArray("frozen_frames_vs_qt") : name + "_vs_qt")
            .constData(),
        qtMs / oursMs, "x");
    return 0;
}
