#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

#include "capture/ScreenCaptureBackend.h"

namespace ivra {

class AudioCaptureDevices;
class ScreenRecordingService;
class SettingsStore;

// `--selftest-record`: records the first display for a few seconds and reports in one line,
// "SELFTEST_DONE <path>" or "SELFTEST_FAIL <reason>" (also when the movie could not be
// finished). The wait runs in the event loop.
class RecordingSelfTest final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kOutputPath = "/tmp/selftest-rec.mov";
    static constexpr int kDurationMs = 3000;

    struct Environment {
        // Null when the session offers no screen capture.
        ScreenCaptureBackend* backend = nullptr;
        const SettingsStore& settings;
        AudioCaptureDevices* audio = nullptr;
        // Prints one line (and flushes it).
        std::function<void(const QString&)> printLine;
        // Called once at the end with the process's exit status (0 when done).
        std::function<void(int)> finished;
    };

    explicit RecordingSelfTest(Environment environment, QString outputPath = kOutputPath,
                               int durationMs = kDurationMs);
    ~RecordingSelfTest() override;

    void run();

private:
    void record(const CaptureResult<ShareableContent>& content);
    void finish(const QString& line, int exitStatus);

    Environment m_environment;
    QString m_outputPath;
    int m_durationMs;
    std::unique_ptr<ScreenRecordingService> m_service;
};

} // namespace ivra
