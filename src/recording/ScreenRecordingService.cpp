#include "recording/ScreenRecordingService.h"

#include <vector>

#include <QCoreApplication>
#include <QDebug>

#include "capture/ScreenCaptureService.h"
#include "capture/ScreenStream.h"
#include "recording/AudioCaptureSource.h"
#include "recording/MovieWriter.h"
#include "recording/RecordingGeometry.h"
#include "settings/SettingsStore.h"

namespace ivra {

namespace {

constexpr int kFramesPerSecond = 60;
constexpr int kKeyFrameIntervalFrames = 60;
constexpr int kStreamQueueDepth = 6;
const AudioTrackSettings kAudioTrackSettings{AudioCaptureSource::kSampleRate, 1, 192000};

RecordingError captureFailed(const CaptureError& error) {
    return {RecordingError::Kind::CaptureFailed, error.description};
}

} // namespace

ScreenRecordingService::ScreenRecordingService(const SettingsStore& settings,
                                               ScreenCaptureBackend& backend,
                                               AudioCaptureDevices* audio)
    : m_settings(settings)
    , m_backend(backend)
    , m_audioDevices(audio)
    , m_queue("vantrel.recording") {
}

ScreenRecordingService::~ScreenRecordingService() {
    stop();
}

ScreenRecordingService::FrameCounts ScreenRecordingService::frameCounts() {
    FrameCounts counts;
    m_queue.sync([this, &counts] { counts = m_frameCounts; });
    return counts;
}

std::optional<RecordingError> ScreenRecordingService::start(const QString& path,
                                                            const CaptureDisplay& display,
                                                            std::optional<QRectF> regionPt,
                                                            const QList<WindowID>& keepWindowIDs) {
    if (m_isRecording) {
        return RecordingError{RecordingError::Kind::CaptureFailed,
                              QStringLiteral("A recording is already running.")};
    }
    reset();
    m_queue.sync([this] { m_frameCounts = FrameCounts{}; });
    m_outputPath = path;
    QString error;
    m_writer = MovieWriter::create(path, &error);
    if (!m_writer) {
        return RecordingError{RecordingError::Kind::WriterCreationFailed, error};
    }

    // The display's scale is its Qt screen's; 2.0 when no screen shows it.
    const double scale = ScreenCaptureService::displayScale(
        display.displayID, ScreenCaptureService::screenInfos(m_backend));
    const QSizeF sizePt = regionPt ? regionPt->size() : QSizeF(display.frame.size());
    const QSize sizePx = recordingPixelSize(sizePt, scale);

    VideoTrackSettings video;
    video.sizePx = sizePx;
    video.averageBitRate = recordingBitRate(sizePx, m_settings.recordingQuality());
    video.expectedFrameRate = kFramesPerSecond;
    video.maxKeyFrameInterval = kKeyFrameIntervalFrames;
    m_videoInput = m_writer->addVideoTrack(video);
    if (m_videoInput == nullptr) {
        return RecordingError{RecordingError::Kind::WriterSetupFailed,
                              QStringLiteral("No HEVC encoder accepts %1×%2 pixels.")
                                  .arg(sizePx.width())
                                  .arg(sizePx.height())};
    }
    m_videoEncoderName = m_videoInput->encoderName();
    // A refused audio track leaves the movie without it, silently.
    m_micInput = m_writer->addAudioTrack(kAudioTrackSettings);
    const bool systemAudio = m_settings.recordingSystemAudio();
    if (systemAudio) {
        m_systemAudioInput = m_writer->addAudioTrack(kAudioTrackSettings);
    }

    if (auto failure = startCapture(display, regionPt, keepWindowIDs, sizePx, systemAudio)) {
        stopInputs();
        return failure;
    }
    setUpMicrophone();
    m_isRecording = true;
    return std::nullopt;
}

std::optional<RecordingError>
ScreenRecordingService::startCapture(const CaptureDisplay& display, std::optional<QRectF> regionPt,
                                     const QList<WindowID>& keepWindowIDs, QSize sizePx,
                                     bool systemAudio) {
    StreamConfiguration configuration;
    configuration.sizePx = sizePx;
    configuration.minimumFrameIntervalNs = 1'000'000'000 / kFramesPerSecond;
    configuration.queueDepth = kStreamQueueDepth;
    configuration.showsCursor = true;
    configuration.sourceRectPt = regionPt;

    std::optional<CaptureResult<ShareableContent>> content;
    m_backend.shareableContent(false, true, [&content](CaptureResult<ShareableContent> result) {
        content = std::move(result);
    });
    if (!content) {
        return captureFailed(CaptureError{QStringLiteral("The screen-capture service did not "
                                                         "list the windows in time.")});
    }
    if (!content->ok()) {
        return captureFailed(content->error());
    }
    // This application's windows stay out of the picture, except the ones to keep.
    QList<WindowID> excluded;
    const qint64 ownPid = QCoreApplication::applicationPid();
    for (const CaptureWindow& window : content->value().windows) {
        if (window.pid == ownPid && !keepWindowIDs.contains(window.windowID)) {
            excluded << window.windowID;
        }
    }
    auto stream =
        m_backend.createStream(ContentFilter::display(display.displayID, excluded), configuration);
    if (!stream) {
        return captureFailed(stream.error());
    }
    if (systemAudio) {
        m_systemAudio = m_audioDevices ? m_audioDevices->systemAudio() : nullptr;
        if (!m_systemAudio) {
            return captureFailed(CaptureError{QStringLiteral("The system's sound cannot be "
                                                             "recorded in this session.")});
        }
    }
    m_stream = stream.value();
    if (!m_writer->startWriting()) {
        return RecordingError{RecordingError::Kind::WriterSetupFailed,
                              m_writer->errorDescription()};
    }
    if (auto failure = m_stream->startCapture([this](std::shared_ptr<const ScreenFrame> frame) {
            m_queue.async([this, frame = std::move(frame)] { appendFrame(frame); });
        })) {
        return captureFailed(*failure);
    }
    if (m_systemAudio) {
        AudioTrackInput* input = m_systemAudioInput;
        const bool started =
            m_systemAudio->start([this, input](const float* samples, int count, int64_t timeNs) {
                m_queue.async(
                    [this, input, buffer = std::vector<float>(samples, samples + count), timeNs] {
                        appendAudio(input, buffer.data(), int(buffer.size()), timeNs);
                    });
            });
        if (!started) {
            return captureFailed(CaptureError{QStringLiteral("The system's sound cannot be "
                                                             "recorded in this session.")});
        }
    }
    return std::nullopt;
}

void ScreenRecordingService::setUpMicrophone() {
    // Without a microphone the recording goes on without its sound.
    if (m_audioDevices == nullptr) {
        return;
    }
    m_microphone = m_audioDevices->microphone(m_settings.recordingMicDeviceID(),
                                              m_settings.recordingNoiseReduction());
    if (!m_microphone) {
        return;
    }
    AudioTrackInput* input = m_micInput;
    const bool started = m_microphone->start([this, input](const float* samples, int count,
                                                           int64_t timeNs) {
        m_queue.async([this, input, buffer = std::vector<float>(samples, samples + count), timeNs] {
            appendAudio(input, buffer.data(), int(buffer.size()), timeNs);
        });
    });
    if (!started) {
        m_microphone.reset();
    }
}

void ScreenRecordingService::appendFrame(const std::shared_ptr<const ScreenFrame>& frame) {
    if (frame->status() != FrameStatus::Complete) {
        ++m_frameCounts.idle;
        return;
    }
    ++m_frameCounts.complete;
    if (!m_writer->sessionStarted() && m_writer->status() == MovieWriter::Status::Writing) {
        m_writer->startSession(frame->presentationTimeNs());
    }
    if (m_videoInput != nullptr && m_videoInput->isReadyForMoreMediaData() &&
        m_videoInput->append(*frame)) {
        ++m_frameCounts.written;
    }
}

void ScreenRecordingService::appendAudio(AudioTrackInput* input, const float* samples, int count,
                                         int64_t timeNs) {
    if (input == nullptr || m_writer->status() != MovieWriter::Status::Writing) {
        return;
    }
    if (!m_writer->sessionStarted()) {
        m_writer->startSession(timeNs);
    }
    if (input->isReadyForMoreMediaData()) {
        input->append(samples, count, timeNs);
    }
}

void ScreenRecordingService::stopInputs() {
    if (m_microphone) {
        m_microphone->stop();
    }
    if (m_stream) {
        m_stream->stopCapture();
    }
    if (m_systemAudio) {
        m_systemAudio->stop();
    }
    m_stream.reset();
    m_microphone.reset();
    m_systemAudio.reset();
    // Whatever was handed over before the inputs stopped is appended (or dropped) now.
    m_queue.sync([] {});
}

std::optional<QString> ScreenRecordingService::stop() {
    if (!m_isRecording) {
        return std::nullopt;
    }
    m_isRecording = false;
    const int64_t endNs = hostTimeNs();
    stopInputs();
    std::optional<QString> result;
    m_queue.sync([this, &result, endNs] {
        m_writer->endSession(endNs);
        if (m_writer->finishWriting()) {
            result = m_outputPath;
        } else {
            qWarning().noquote() << "Vantrel recording failed to finalize:"
                                 << m_writer->errorDescription();
        }
    });
    reset();
    return result;
}

void ScreenRecordingService::reset() {
    m_queue.sync([this] {
        m_videoInput = nullptr;
        m_micInput = nullptr;
        m_systemAudioInput = nullptr;
        m_writer.reset();
    });
}

} // namespace ivra
