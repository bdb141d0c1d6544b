#include "recording/RecordingSelfTest.h"

#include <optional>

#include <QFile>
#include <QTimer>

#include "capture/ScreenCaptureBackend.h"
#include "recording/ScreenRecordingService.h"

namespace ivra {

RecordingSelfTest::RecordingSelfTest(Environment environment, QString outputPath, int durationMs)
    : m_environment(std::move(environment))
    , m_outputPath(std::move(outputPath))
    , m_durationMs(durationMs) {
}

RecordingSelfTest::~RecordingSelfTest() = default;

void RecordingSelfTest::run() {
    ScreenCaptureBackend* backend = m_environment.backend;
    if (backend == nullptr || !backend->preflightAccess()) {
        finish(QStringLiteral("SELFTEST_FAIL screen-recording-not-granted"), 1);
        return;
    }
    m_service = std::make_unique<ScreenRecordingService>(m_environment.settings, *backend,
                                                         m_environment.audio);
    QFile::remove(m_outputPath);
    backend->shareableContent(false, true,
                              [this](CaptureResult<ShareableContent> content) { record(content); });
}

void RecordingSelfTest::record(const CaptureResult<ShareableContent>& content) {
    if (!content) {
        finish(QStringLiteral("SELFTEST_FAIL ") + content.error().description, 1);
        return;
    }
    if (content.value().displays.isEmpty()) {
        finish(QStringLiteral("SELFTEST_FAIL no display"), 1);
        return;
    }
    if (const auto error =
            m_service->start(m_outputPath, content.value().displays.first(), std::nullopt, {})) {
        finish(QStringLiteral("SELFTEST_FAIL ") + error->description, 1);
        return;
    }
    QTimer::singleShot(m_durationMs, this, [this] {
        // A movie that could not be finished is a failed test, not a done one.
        if (const std::optional<QString> path = m_service->stop()) {
            finish(QStringLiteral("SELFTEST_DONE ") + *path, 0);
        } else {
            finish(QStringLiteral("SELFTEST_FAIL the movie could not be finished"), 1);
        }
    });
}

void RecordingSelfTest::finish(const QString& line, int exitStatus) {
    m_environment.printLine(line);
    m_environment.finished(exitStatus);
}

} // namespace ivra
