// The recording's own cost per frame before the encoder, with full-motion content: from the
// frame's time stamp (damage and pointer already checked) through the MIT-SHM grab and the
// pointer drawn in to the BGRA → YUV 4:2:0 conversion the writer does (libyuv).

#include <cstdio>
#include <mutex>
#include <vector>

#include <QApplication>
#include <QScreen>

#include <libyuv/convert.h>

#include "BenchSupport.h"
#include "FirstDisplay.h"
#include "MotionWindow.h"
#include "capture/ScreenStream.h"
#include "platform/x11/X11ScreenCaptureBackend.h"

using namespace ivra;

namespace {

constexpr int kRunMs = 6000;

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::optional<bench::FirstDisplay> first = bench::openFirstDisplay();
    if (!first) {
        return 1;
    }
    platform::X11ScreenCaptureBackend* backend = first->backend.get();
    const CaptureDisplay display = first->display;
    bench::MotionWindow window;
    window.setGeometry(display.frame);
    window.show();
    window.setAnimating(true);

    StreamConfiguration configuration;
    configuration.sizePx = display.frame.size();
    auto stream = backend->createStream(ContentFilter::display(display.displayID), configuration);
    if (!stream) {
        std::fprintf(stderr, "%s\n", qPrintable(stream.error().description));
        return 1;
    }
    const int width = display.frame.width();
    const int height = display.frame.height();
    std::vector<uint8_t> yuv(size_t(width) * size_t(height) * 3 / 2);
    std::mutex mutex;
    std::vector<double> costsMs;
    int idle = 0;
    stream.value()->startCapture([&](std::shared_ptr<const ScreenFrame> frame) {
        if (frame->status() != FrameStatus::Complete) {
            ++idle;
            return;
        }
        uint8_t* y = yuv.data();
        uint8_t* u = y + size_t(width) * size_t(height);
        uint8_t* v = u + size_t(width / 2) * size_t(height / 2);
        libyuv::ARGBToI420(frame->bits(), frame->bytesPerLine(), y, width, u, width / 2, v,
                           width / 2, width, height);
        const double costMs = double(nowNs() - frame->presentationTimeNs()) / 1e6;
        const std::lock_guard lock(mutex);
        costsMs.push_back(costMs);
    });
    QTimer::singleShot(kRunMs, &app, &QCoreApplication::quit);
    app.exec();
    stream.value()->stopCapture();
    if (costsMs.size() < 10) {
        std::fprintf(stderr, "only %zu frames\n", costsMs.size());
        return 1;
    }
    std::printf("# %zu complete frames, %d idle, in %d ms at %dx%d\n", costsMs.size(), idle, kRunMs,
                width, height);
    bench::report(IVRA_BENCH_NAME, bench::median(costsMs), "ms");
    return 0;
}
