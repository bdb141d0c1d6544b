#include <cmath>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "platform/canberra/CanberraCaptureSound.h"

using namespace ivra;

// Plays the capture sound into the harness's PulseAudio server and listens on the monitor
// of its default output ("sys_out"), as the user's speakers would hear it.
class CaptureSoundTest : public QObject {
    Q_OBJECT

    // The loudest sample heard on the output while `play` runs.
    static int loudestWhile(const std::function<void()>& play) {
        QProcess recorder;
        recorder.start(QStringLiteral("parec"),
                       {QStringLiteral("--device=sys_out.monitor"), QStringLiteral("--raw"),
                        QStringLiteral("--format=s16le"), QStringLiteral("--channels=1"),
                        QStringLiteral("--rate=48000"), QStringLiteral("--latency-msec=20")});
        if (!recorder.waitForStarted()) {
            return -1;
        }
        // Listening for real once the monitor delivers (silent) audio: a tenth of a second.
        QByteArray raw;
        while (raw.size() < 9600 && recorder.waitForReadyRead(5000)) {
            raw += recorder.readAllStandardOutput();
        }
        play();
        QTest::qWait(1200);
        recorder.terminate();
        recorder.waitForFinished();
        raw += recorder.readAllStandardOutput();
        int loudest = 0;
        for (qsizetype i = 0; i + 1 < raw.size(); i += 2) {
            const auto sample = static_cast<qint16>(quint8(raw[i]) | (quint8(raw[i + 1]) << 8));
            loudest = std::max(loudest, std::abs(int(sample)));
        }
        return loudest;
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
            QSKIP("needs the harness's PulseAudio server (scripts/headless.sh)");
        }
    }

    // Run with no sound theme anywhere (XDG_DATA_DIRS=/nonexistent; a second CTest entry).
    void withoutAThemeSoundTheClickIsHeard() {
        if (qgetenv("XDG_DATA_DIRS") != "/nonexistent") {
            QSKIP("runs in the entry without a sound theme");
        }
        QTemporaryDir cache;
        const QString folder = cache.filePath(QStringLiteral("ivra"));
        platform::CanberraCaptureSound sound(folder);
        QVERIFY(loudestWhile([&] { sound.play(); }) > 1000);
        QVERIFY(QFileInfo(QDir(folder).filePath(QStringLiteral("capture-click.wav"))).size() >
                4000);
    }

    void theThemeSoundIsHeard() {
        if (qgetenv("XDG_DATA_DIRS") == "/nonexistent") {
            QSKIP("runs in the entry with the sound theme");
        }
        QTemporaryDir cache;
        platform::CanberraCaptureSound sound(cache.path());
        QCOMPARE(loudestWhile([] {}), 0);
        QVERIFY(loudestWhile([&] { sound.play(); }) > 1000);
        // The desktop's own sound was found: no fallback was needed.
        QVERIFY(QDir(cache.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(CaptureSoundTest)
#include "CaptureSoundTest.moc"
