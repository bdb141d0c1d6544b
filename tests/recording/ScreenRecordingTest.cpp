// The recording service on the harness's X server (Xvfb, openbox) and sound server
// (PulseAudio with null sinks): real movies, read back with libavformat.

#include <cmath>
#include <csignal>

#include <sys/resource.h>

#include <QApplication>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include "MovieReader.h"
#include "TonePlayer.h"
#include "platform/x11/X11ScreenCaptureBackend.h"
#include "platform/x11/XcbConnection.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "recording/AudioCaptureSource.h"
#include "recording/ScreenRecordingService.h"
#include "settings/SettingsStore.h"

using namespace ivra;

namespace {

// The area recorded by most cases: small, so encoding stays cheap.
const QRect kRegion(100, 100, 301, 201);

// A frameless window over the recorded area: black, with a bar that moves every 16 ms
// while animating, or all white once flashed.
class Stage : public QWidget {
public:
    Stage() {
        setAttribute(Qt::WA_NativeWindow);
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setGeometry(kRegion.adjusted(-20, -20, 20, 20));
        connect(&m_timer, &QTimer::timeout, this, [this] {
            ++m_step;
            repaint();
        });
    }
    QList<WindowID> id() const { return {WindowID(winId())}; }
    void animate(bool on) { on ? m_timer.start(16) : m_timer.stop(); }
    // Paints white and returns once the X server has it.
    void flash() {
        m_white = true;
        repaint();
        QGuiApplication::sync();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), m_white ? Qt::white : Qt::black);
        if (!m_white && m_timer.isActive()) {
            painter.fillRect((m_step * 7) % width(), 0, 30, height(), QColor(0, 160, 255));
        }
    }

private:
    QTimer m_timer;
    int m_step = 0;
    bool m_white = false;
};

// A grey window of another client (no process id of ours on it), placed by itself under
// the recorded area.
class Backdrop {
public:
    Backdrop() {
        m_connection = platform::XcbConnection::open();
        xcb_connection_t* c = m_connection->get();
        m_window = xcb_generate_id(c);
        const QRect area = kRegion.adjusted(-40, -40, 40, 40);
        const uint32_t values[] = {0x808080, 1};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, m_connection->root(),
                          int16_t(area.x()), int16_t(area.y()), uint16_t(area.width()),
                          uint16_t(area.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT,
                          values);
        xcb_map_window(c, m_window);
        xcb_flush(c);
    }
    // Below every other window.
    void lower() {
        const uint32_t below = XCB_STACK_MODE_BELOW;
        xcb_configure_window(m_connection->get(), m_window, XCB_CONFIG_WINDOW_STACK_MODE, &below);
        xcb_flush(m_connection->get());
    }
    ~Backdrop() {
        xcb_destroy_window(m_connection->get(), m_window);
        xcb_flush(m_connection->get());
    }

private:
    std::unique_ptr<platform::XcbConnection> m_connection;
    xcb_window_t m_window = 0;
};

struct Recording {
    std::optional<QString> path;
    ScreenRecordingService::FrameCounts counts;
};

} // namespace

class ScreenRecordingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void recordsTheChangingFramesOfARegion();
    void leavesUnchangedFramesOut();
    void leavesItsOwnWindowsOutUnlessKept();
    void recordsMicrophoneAndSystemSound();
    void usesTheChosenMicrophoneWhenItExists();
    void keepsPictureAndSoundTogether();
    void stopsOnlyOnce();
    void reportsAMovieThatCannotBeFinished();

private:
    CaptureDisplay primaryDisplay();
    // Records while `during` runs and `durationMs` more. The windows of this test are left
    // out of the picture unless kept.
    Recording record(const QString& name, int durationMs, std::optional<QRectF> region,
                     const QList<WindowID>& keep, const std::function<void()>& during = {});

    QTemporaryDir m_dir;
    std::unique_ptr<platform::X11ScreenCaptureBackend> m_backend;
    std::unique_ptr<AudioCaptureDevices> m_audio;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<test::TonePlayer> m_microphonePlayer;
    std::unique_ptr<test::TonePlayer> m_outputPlayer;
};

void ScreenRecordingTest::initTestCase() {
    m_backend = platform::X11ScreenCaptureBackend::create();
    QVERIFY(m_backend);
    m_audio = createAudioCaptureDevices();
    // Players stay on both sinks for the whole test, silent unless a case asks for a tone.
    m_microphonePlayer = std::make_unique<test::TonePlayer>("mic_feed");
    m_outputPlayer = std::make_unique<test::TonePlayer>("sys_out");
    QVERIFY(m_microphonePlayer->ok() && m_outputPlayer->ok());
    QTest::qWait(test::kSoundServerWakeMs);
    // The pointer out of the recorded area: it is drawn into frames and would move nothing.
    QCursor::setPos(1800, 1000);
}

void ScreenRecordingTest::init() {
    m_settings = std::make_unique<SettingsStore>(std::make_shared<platform::IniKeyValueStore>(
        m_dir.filePath(QStringLiteral("settings-%1.ini").arg(QTest::currentTestFunction()))));
    // The test tones are steady: noise suppression learns them as noise and fades them.
    m_settings->setBool(SettingsStore::Keys::recordingNoiseReduction, false);
}

void ScreenRecordingTest::cleanup() {
    m_microphonePlayer->playSilence();
    m_outputPlayer->playSilence();
}

CaptureDisplay ScreenRecordingTest::primaryDisplay() {
    CaptureDisplay display;
    m_backend->shareableContent(false, true, [&display](CaptureResult<ShareableContent> content) {
        display = content.value().displays.first();
    });
    return display;
}

Recording ScreenRecordingTest::record(const QString& name, int durationMs,
                                      std::optional<QRectF> region, const QList<WindowID>& keep,
                                      const std::function<void()>& during) {
    ScreenRecordingService service(*m_settings, *m_backend, m_audio.get());
    const QString path = m_dir.filePath(name);
    const auto error = service.start(path, primaryDisplay(), region, keep);
    if (error) {
        qWarning() << "start failed:" << error->description;
        return {};
    }
    if (during) {
        during();
    }
    QTest::qWait(durationMs);
    Recording result;
    result.path = service.stop();
    result.counts = service.frameCounts();
    return result;
}

void ScreenRecordingTest::recordsTheChangingFramesOfARegion() {
    Stage stage;
    stage.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stage));
    stage.animate(true);
    const auto recording = record("region.mov", 3000, QRectF(kRegion), stage.id());
    QVERIFY(recording.path);
    const auto movie = test::readMovie(*recording.path);
    QVERIFY(movie);
    const auto video = movie->tracksOfKind("video");
    QCOMPARE(video.size(), 1);
    QCOMPARE(video[0].codec, QString("hevc"));
    QCOMPARE(video[0].tag, QString("hvc1"));
    // 301 × 201 points at scale 1: odd sides lose a pixel.
    QCOMPARE(video[0].sizePx, QSize(300, 200));
    QVERIFY2(std::abs(video[0].durationSeconds - 3.0) < 0.25,
             qPrintable(QString::number(video[0].durationSeconds)));
    // Every frame handed to the encoder is in the file, and the window moved in most ticks.
    QCOMPARE(video[0].packetCount, recording.counts.written);
    QVERIFY2(recording.counts.written > 60, qPrintable(QString::number(recording.counts.written)));
    // Only the microphone: system sound is off by default.
    QCOMPARE(movie->tracksOfKind("audio").size(), 1);
    // The region shows the stage: dark, with a blue bar.
    const auto frames = test::readVideoLuma(*recording.path);
    QVERIFY(!frames.empty());
    QVERIFY2(frames.back().meanLuma < 80, qPrintable(QString::number(frames.back().meanLuma)));
}

void ScreenRecordingTest::leavesUnchangedFramesOut() {
    Stage stage;
    stage.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stage));
    QTest::qWait(300);
    const auto recording = record("static.mov", 2000, QRectF(kRegion), stage.id());
    QVERIFY(recording.path);
    const auto movie = test::readMovie(*recording.path);
    QVERIFY(movie);
    // The first frame shows the screen; nothing changed after it.
    QCOMPARE(movie->tracksOfKind("video")[0].packetCount, 1);
    QCOMPARE(recording.counts.complete, 1);
    QVERIFY2(recording.counts.idle > 90, qPrintable(QString::number(recording.counts.idle)));
    QVERIFY(std::abs(movie->tracksOfKind("video")[0].durationSeconds - 2.0) < 0.25);
}

void ScreenRecordingTest::leavesItsOwnWindowsOutUnlessKept() {
    Backdrop backdrop;
    QTest::qWait(100);
    Stage stage;
    stage.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stage));
    backdrop.lower();
    stage.animate(true);
    QTest::qWait(300);
    auto lumaOf = [&](const QString& name, const QList<WindowID>& keep) {
        const auto recording = record(name, 800, QRectF(kRegion), keep);
        const auto frames =
            recording.path ? test::readVideoLuma(*recording.path) : std::vector<test::FrameLuma>();
        return frames.empty() ? -1.0 : frames.back().meanLuma;
    };
    // This application's window is left out: what lies beneath shows (grey, luma ~126).
    const double without = lumaOf("without.mov", {});
    QVERIFY2(without > 110 && without < 140, qPrintable(QString::number(without)));
    // Kept, it shows (black with a blue bar).
    const double kept = lumaOf("kept.mov", stage.id());
    QVERIFY2(kept < 60, qPrintable(QString::number(kept)));
}

void ScreenRecordingTest::recordsMicrophoneAndSystemSound() {
    m_settings->setBool(SettingsStore::Keys::recordingSystemAudio, true);
    const auto recording = record("sound.mov", 2000, QRectF(kRegion), {}, [&] {
        m_microphonePlayer->playTone(440);
        m_outputPlayer->playTone(1000);
    });
    QVERIFY(recording.path);
    const auto movie = test::readMovie(*recording.path);
    QVERIFY(movie);
    QCOMPARE(movie->tracksOfKind("audio").size(), 2);
    const auto mic = test::readAudio(*recording.path, 0);
    const auto system = test::readAudio(*recording.path, 1);
    QVERIFY(mic && system);
    QVERIFY2(mic->samples.size() > 48000, qPrintable(QString::number(mic->samples.size())));
    QVERIFY2(system->samples.size() > 48000, qPrintable(QString::number(system->samples.size())));
    // Frequencies, not levels: servers differ in their gain.
    QVERIFY(test::toneShare(mic->samples, 48000, 440) > 0.5);
    QVERIFY(test::toneShare(mic->samples, 48000, 1000) < 0.05);
    QVERIFY(test::toneShare(system->samples, 48000, 1000) > 0.5);
    QVERIFY(test::toneShare(system->samples, 48000, 440) < 0.05);
}

void ScreenRecordingTest::usesTheChosenMicrophoneWhenItExists() {
    auto toneOfMicrophoneTrack = [&](const QString& name) {
        const auto recording = record(name, 1000, QRectF(kRegion), {}, [&] {
            m_microphonePlayer->playTone(440);
            m_outputPlayer->playTone(1000);
        });
        const auto mic = recording.path ? test::readAudio(*recording.path, 0) : std::nullopt;
        return mic ? test::toneShare(mic->samples, 48000, 1000) : -1.0;
    };
    // The output's monitor as the chosen microphone: its tone is what the track carries.
    m_settings->setText(SettingsStore::Keys::recordingMicDeviceID, "sys_out.monitor");
    QVERIFY(toneOfMicrophoneTrack("chosen.mov") > 0.5);
    // A microphone that is not there: the default input instead.
    m_settings->setText(SettingsStore::Keys::recordingMicDeviceID, "unplugged_headset");
    QVERIFY(toneOfMicrophoneTrack("fallback.mov") < 0.05);
}

void ScreenRecordingTest::keepsPictureAndSoundTogether() {
    m_settings->setBool(SettingsStore::Keys::recordingSystemAudio, true);
    Stage stage;
    stage.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stage));
    test::TonePlayer& output = *m_outputPlayer;
    int64_t flashNs = 0;
    int64_t onsetNs = 0;
    const auto recording = record("sync.mov", 1500, QRectF(kRegion), stage.id(), [&] {
        QTest::qWait(700);
        output.playTone(1000);
        QVERIFY(QTest::qWaitFor([&] { return output.toneOnsetNs() != 0; }, 1000));
        onsetNs = output.toneOnsetNs();
        // The flash as close to the tone's onset as the event loop allows.
        while (test::monotonicNowNs() < onsetNs - 1'000'000) {
            QTest::qWait(0);
        }
        while (test::monotonicNowNs() < onsetNs) {
        }
        stage.flash();
        flashNs = test::monotonicNowNs();
    });
    QVERIFY(recording.path);
    const auto frames = test::readVideoLuma(*recording.path);
    const auto flashFrame = std::find_if(frames.begin(), frames.end(),
                                         [](const auto& frame) { return frame.meanLuma > 128; });
    QVERIFY(flashFrame != frames.end());
    const auto system = test::readAudio(*recording.path, 1);
    QVERIFY(system);
    size_t onset = 0;
    while (onset < system->samples.size() && std::abs(system->samples[onset]) < 0.1F) {
        ++onset;
    }
    QVERIFY(onset < system->samples.size());
    const double toneSeconds = system->startSeconds + double(onset) / system->sampleRate;
    // What the movie shows, less what really happened: the flash came (flashNs - onsetNs)
    // after the tone.
    const double offsetMs =
        (flashFrame->timeSeconds - toneSeconds) * 1000 - double(flashNs - onsetNs) / 1'000'000;
    qInfo("BENCH av_offset %.3f ms", std::abs(offsetMs));
    // A frame is grabbed up to one frame interval after the screen changed.
    QVERIFY2(std::abs(offsetMs) <= 17, qPrintable(QString::number(offsetMs)));
}

void ScreenRecordingTest::stopsOnlyOnce() {
    ScreenRecordingService service(*m_settings, *m_backend, m_audio.get());
    QVERIFY(!service.stop());
    const QString path = m_dir.filePath("twice.mov");
    QVERIFY(!service.start(path, primaryDisplay(), QRectF(kRegion), {}));
    QVERIFY(service.isRecording());
    QTest::qWait(300);
    QCOMPARE(service.stop(), std::optional<QString>(path));
    QVERIFY(!service.isRecording());
    QCOMPARE(service.stop(), std::nullopt);
    QVERIFY(test::readMovie(path));
}

void ScreenRecordingTest::reportsAMovieThatCannotBeFinished() {
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 16 * 1024;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
    Stage stage;
    stage.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stage));
    stage.animate(true);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Vantrel recording failed to finalize: .*large"));
    const auto recording = record("full.mov", 1500, QRectF(kRegion), stage.id());
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    QCOMPARE(recording.path, std::nullopt);
}

QTEST_MAIN(ScreenRecordingTest)
#include "ScreenRecordingTest.moc"
