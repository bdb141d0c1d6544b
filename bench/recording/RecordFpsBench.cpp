// Whole recordings of a 1920 × 1080 display with full-motion content, against ffmpeg's own
// X11 grabber with the same encoder and settings on the same content in the same run; then
// a still screen. The encoder is the limit on a small machine: what we add must not lower
// the frames written per second, nor make memory grow.

#include <cstdio>
#include <fstream>
#include <string>

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchSupport.h"
#include "FirstDisplay.h"
#include "MotionWindow.h"
#include "platform/x11/X11ScreenCaptureBackend.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "recording/AudioCaptureSource.h"
#include "recording/RecordingGeometry.h"
#include "recording/ScreenRecordingService.h"
#include "settings/SettingsStore.h"

using namespace ivra;

namespace {

constexpr int kRecordMs = 30000;

double residentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int videoPackets(const QString& path) {
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-select_streams", "v", "-count_packets",
                            "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", path});
    probe.waitForFinished(60000);
    return probe.readAllStandardOutput().trimmed().toInt();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    std::optional<bench::FirstDisplay> first = bench::openFirstDisplay();
    if (!first) {
        return 1;
    }
    platform::X11ScreenCaptureBackend* backend = first->backend.get();
    const CaptureDisplay display = first->display;
    SettingsStore settings(std::make_shared<platform::IniKeyValueStore>(dir.filePath("s.ini")));
    auto audio = createAudioCaptureDevices();
    ScreenRecordingService service(settings, *backend, audio.get());

    bench::MotionWindow window;
    window.setAttribute(Qt::WA_NativeWindow);
    window.setGeometry(display.frame);
    window.show();
    window.setAnimating(true);
    wait(1000);
    // The content is this program's own window: kept in the picture.
    const QList<WindowID> keep{WindowID(window.winId())};

    // Ours.
    const QString ours = dir.filePath("ours.mov");
    if (const auto error = service.start(ours, display, std::nullopt, keep)) {
        std::fprintf(stderr, "%s\n", qPrintable(error->description));
        return 1;
    }
    wait(5000);
    const double rssAfterWarmUpMb = residentMb();
    wait(kRecordMs - 5000);
    const double rssAtEndMb = residentMb();
    const auto counts = service.frameCounts();
    if (!service.stop()) {
        std::fprintf(stderr, "the recording did not finish\n");
        return 1;
    }
    const int ourFrames = videoPackets(ours);

    // ffmpeg, same content, same encoder settings (the bit rate of a "max" recording), each
    // grabbed frame encoded once.
    const qint64 bitRate = recordingBitRate(display.frame.size(), RecordingQuality::Max);
    const QString theirs = dir.filePath("ffmpeg.mov");
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start("ffmpeg",
                 {"-hide_banner",
                  "-loglevel",
                  "error",
                  "-f",
                  "x11grab",
                  "-framerate",
                  "60",
                  "-video_size",
                  QStringLiteral("%1x%2").arg(display.frame.width()).arg(display.frame.height()),
                  "-i",
                  qEnvironmentVariable("DISPLAY") + "+0,0",
                  "-t",
                  QString::number(kRecordMs / 1000),
                  "-c:v",
                  "libx265",
                  "-preset",
                  "ultrafast",
                  "-tune",
                  "zerolatency",
                  "-b:v",
                  QString::number(bitRate),
                  "-x265-params",
                  "log-level=error",
                  "-vsync",
                  "passthrough",
                  "-y",
                  theirs});
    while (!ffmpeg.waitForFinished(10)) {
        QCoreApplication::processEvents();
    }
    const int ffmpegFrames = videoPackets(theirs);

    const double seconds = kRecordMs / 1000.0;
    std::printf("# ours: %d frames in the file, %d changed frames seen, %d handed to the "
                "encoder (%s)\n",
                ourFrames, counts.complete, counts.written, qPrintable(service.videoEncoderName()));
    bench::report("record_fps_1080p", ourFrames / seconds, "fps");
    bench::report("ffmpeg_fps_1080p", ffmpegFrames / seconds, "fps");
    bench::report("record_fps_vs_ffmpeg", ffmpegFrames > 0 ? double(ourFrames) / ffmpegFrames : 0,
                  "x");
    bench::report("record_dropped_frames_1080p", counts.complete - counts.written, "frames");
    bench::report("record_rss_growth", rssAtEndMb - rssAfterWarmUpMb, "MB");

    // A still screen: only the first frame, and little work.
    window.setAnimating(false);
    wait(1000);
    const QString still = dir.filePath("still.mov");
    const double cpuBefore = cpuSeconds();
    QElapsedTimer elapsed;
    elapsed.start();
    if (service.start(still, display, std::nullopt, keep)) {
        return 1;
    }
    wait(kRecordMs);
    service.stop();
    const double cpuShare = (cpuSeconds() - cpuBefore) / (double(elapsed.elapsed()) / 1000.0);
    bench::report("record_static_frames", videoPackets(still), "frames");
    bench::report("record_static_cpu", cpuShare * 100, "%");
    return 0;
}
