#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include <QByteArray>

#include "recording/AudioCaptureSource.h"
#include "recording/NoiseSuppressor.h"

struct pa_simple;

namespace ivra::platform {

// One PulseAudio record stream (PipeWire's PulseAudio service too), read in 10 ms buffers
// on a thread of its own. Each buffer is stamped with the monotonic clock at the moment it
// was read, less the stream's reported latency and the buffer's own length: the time its
// first sample was heard.
class PulseAudioSource final : public AudioCaptureSource {
public:
    // `device`: a source name, "@DEFAULT_MONITOR@", or empty for the default source.
    // `suppressor`, when given, cleans every buffer before it is handed on.
    PulseAudioSource(QByteArray device, QByteArray streamName,
                     std::unique_ptr<NoiseSuppressor> suppressor = nullptr);
    ~PulseAudioSource() override;

    bool start(BufferHandler handler) override;
    void stop() override;

private:
    void run(const BufferHandler& handler);

    QByteArray m_device;
    QByteArray m_streamName;
    std::unique_ptr<NoiseSuppressor> m_suppressor;
    pa_simple* m_stream = nullptr;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};

class PulseAudioDevices final : public AudioCaptureDevices {
public:
    std::unique_ptr<AudioCaptureSource> microphone(const QString& deviceID,
                                                   bool noiseReduction) override;
    std::unique_ptr<AudioCaptureSource> systemAudio() override;
};

} // namespace ivra::platform
