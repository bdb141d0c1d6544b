#pragma once

#include <memory>
#include <optional>

#include <QList>
#include <QRectF>
#include <QString>

#include "capture/ScreenCaptureBackend.h"
#include "recording/SerialQueue.h"

namespace ivra {

class AudioCaptureDevices;
class AudioCaptureSource;
class AudioTrackInput;
class MovieWriter;
class ScreenFrame;
class ScreenStream;
class SettingsStore;
class VideoTrackInput;

struct RecordingError {
    enum class Kind {
        // The movie file could not be created.
        WriterCreationFailed,
        // The writer refused the video track or could not start.
        WriterSetupFailed,
        // The screen-capture service failed (content, stream, capture start).
        CaptureFailed,
    };
    Kind kind;
    QString description;
};

// Records a display, or an area of it, into an HEVC QuickTime movie with a microphone
// track and, when "recording.systemAudio" is on, a track of what the computer plays.
//
// Every sample is appended on one serial queue ("vantrel.recording"): screen frames from
// the stream, buffers from the sound inputs. The movie's time starts at the first sample
// accepted, of any kind; all are stamped on the host's monotonic clock, so the tracks line
// up with no further offset. A sample that arrives while its track is not ready is dropped,
// never queued. Screen frames that are not complete (nothing changed) are not written.
class ScreenRecordingService {
public:
    // The movie's screen frames and what became of them, for tests and measurements.
    struct FrameCounts {
        int complete = 0; // changed frames the stream delivered
        int written = 0;  // of those, handed to the encoder
        int idle = 0;     // unchanged frames, left out
    };

    // `audio` may be null: no sound inputs at all (the movie still gets its microphone
    // track, which stays empty).
    ScreenRecordingService(const SettingsStore& settings, ScreenCaptureBackend& backend,
                           AudioCaptureDevices* audio);
    ~ScreenRecordingService();

    ScreenRecordingService(const ScreenRecordingService&) = delete;
    ScreenRecordingService& operator=(const ScreenRecordingService&) = delete;

    // Starts recording `display` (or `regionPt` of it, in points relative to its top left)
    // into a new movie at `path`. This application's own windows are left out of the
    // picture except those in `keepWindowIDs`.
    std::optional<RecordingError> start(const QString& path, const CaptureDisplay& display,
                                        std::optional<QRectF> regionPt,
                                        const QList<WindowID>& keepWindowIDs);
    // Ends the recording and finishes the movie. Its path when it is complete; nothing when
    // no recording runs or the movie could not be finished (then logged).
    std::optional<QString> stop();

    bool isRecording() const { return m_isRecording; }
    QString outputPath() const { return m_outputPath; }
    // Of the current or last recording.
    FrameCounts frameCounts();
    // The encoder of the current or last recording.
    QString videoEncoderName() const { return m_videoEncoderName; }

private:
    std::optional<RecordingError> startCapture(const CaptureDisplay& display,
                                               std::optional<QRectF> regionPt,
                                               const QList<WindowID>& keepWindowIDs, QSize sizePx,
                                               bool systemAudio);
    void setUpMicrophone();
    void stopInputs();
    void reset();

    // On the queue.
    void appendFrame(const std::shared_ptr<const ScreenFrame>& frame);
    void appendAudio(AudioTrackInput* input, const float* samples, int count, int64_t timeNs);

    const SettingsStore& m_settings;
    ScreenCaptureBackend& m_backend;
    AudioCaptureDevices* m_audioDevices;
    SerialQueue m_queue;

    bool m_isRecording = false;
    QString m_outputPath;
    QString m_videoEncoderName;
    std::unique_ptr<MovieWriter> m_writer;
    VideoTrackInput* m_videoInput = nullptr;
    AudioTrackInput* m_micInput = nullptr;
    AudioTrackInput* m_systemAudioInput = nullptr;
    std::shared_ptr<ScreenStream> m_stream;
    std::unique_ptr<AudioCaptureSource> m_systemAudio;
    std::unique_ptr<AudioCaptureSource> m_microphone;
    // On the queue.
    FrameCounts m_frameCounts;
};

} // namespace ivra
