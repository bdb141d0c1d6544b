// Picture against sound: a window turns white exactly when a tone starts playing on the
// default output; the recording (with system sound) should show the flash and the tone's
// onset at the same movie time. Median of a few runs, in milliseconds.

#include <cmath>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include "BenchSupport.h"
#include "FirstDisplay.h"
#include "MovieReader.h"
#include "TonePlayer.h"
#include "platform/x11/X11ScreenCaptureBackend.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "recording/AudioCaptureSource.h"
#include "recording/ScreenRecordingService.h"
#include "settings/SettingsStore.h"

using namespace ivra;

namespace {

constexpr int kRuns = 5;
const QRect kArea(200, 200, 320, 240);

class FlashWindow : public QWidget {
public:
    FlashWindow() {
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setAttribute(Qt::WA_NativeWindow);
        setGeometry(kArea);
    }
    void setWhite(bool white) {
        m_white = white;
        repaint();
        QGuiApplication::sync();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), m_white ? Qt::white : Qt::black);
    }

private:
    bool m_white = false;
};

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    std::optional<bench::FirstDisplay> first = bench::openFirstDisplay();
    if (!first) {
        return 1;
    }
    platform::X11ScreenCaptureBackend* backend = first->backend.get();
    const CaptureDisplay display = first->display;
    SettingsStore settings(std::make_shared<platform::IniKeyValueStore>(dir.filePath("s.ini")));
    settings.setBool(SettingsStore::Keys::recordingSystemAudio, true);
    auto audio = createAudioCaptureDevices();
    test::TonePlayer output("sys_out");
    if (!output.ok()) {
        std::fprintf(stderr, "no sound server\n");
        return 1;
    }
    wait(test::kSoundServerWakeMs);
    FlashWindow window;
    window.show();
    wait(300);

    std::vector<double> offsetsMs;
    for (int run = 0; run < kRuns; ++run) {
        window.setWhite(false);
        output.playSilence();
        wait(200);
        ScreenRecordingService service(settings, *backend, audio.get());
        const QString path = dir.filePath(QStringLiteral("sync-%1.mov").arg(run));
        if (service.start(path, display, QRectF(kArea), {WindowID(window.winId())})) {
            return 1;
        }
        wait(700);
        output.playTone(1000);
        while (output.toneOnsetNs() == 0) {
            wait(1);
        }
        const int64_t onsetNs = output.toneOnsetNs();
        while (test::monotonicNowNs() < onsetNs) {
        }
        window.setWhite(true);
        const int64_t flashNs = test::monotonicNowNs();
        wait(600);
        if (!service.stop()) {
            return 1;
        }
        const auto frames = test::readVideoLuma(path);
        const auto sound = test::readAudio(path, 1);
        auto flash = std::find_if(frames.begin(), frames.end(),
                                  [](const auto& frame) { return frame.meanLuma > 128; });
        size_t onset = 0;
        while (sound && onset < sound->samples.size() && std::abs(sound->samples[onset]) < 0.1F) {
            ++onset;
        }
        if (flash == frames.end() || !sound || onset == sound->samples.size()) {
            std::fprintf(stderr, "run %d: no flash or no tone in the movie\n", run);
            return 1;
        }
        const double toneSeconds = sound->startSeconds + double(onset) / sound->sampleRate;
        offsetsMs.push_back(
            std::abs((flash->timeSeconds - toneSeconds) * 1000 - double(flashNs - onsetNs) / 1e6));
    }
    bench::report("av_offset", bench::median(offsetsMs), "ms");
    return 0;
}
