#include "platform/pulse/PulseAudioCapture.h"

#include <vector>

#include <pulse/error.h>
#include <pulse/simple.h>

#include "capture/ScreenStream.h"

namespace ivra::platform {

namespace {

// Buffers of 10 ms: short enough to stamp them precisely.
constexpr int kBufferFrames = AudioCaptureSource::kSampleRate / 100;

pa_simple* openRecordStream(const QByteArray& device, const QByteArray& streamName) {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = AudioCaptureSource::kSampleRate;
    spec.channels = 1;
    pa_buffer_attr attributes{};
    attributes.maxlength = uint32_t(-1);
    attributes.fragsize = uint32_t(kBufferFrames * sizeof(float));
    int error = 0;
    return pa_simple_new(nullptr, "Ivra", PA_STREAM_RECORD,
                         device.isEmpty() ? nullptr : device.constData(), streamName.constData(),
                         &spec, nullptr, &attributes, &error);
}

} // namespace

PulseAudioSource::PulseAudioSource(QByteArray device, QByteArray streamName,
                                   std::unique_ptr<NoiseSuppressor> suppressor)
    : m_device(std::move(device))
    , m_streamName(std::move(streamName))
    , m_suppressor(std::move(suppressor)) {
}

PulseAudioSource::~PulseAudioSource() {
    stop();
}

bool PulseAudioSource::start(BufferHandler handler) {
    if (m_running.load()) {
        return false;
    }
    m_stream = openRecordStream(m_device, m_streamName);
    if (m_stream == nullptr) {
        return false;
    }
    m_running.store(true);
    m_thread = std::thread([this, handler = std::move(handler)] { run(handler); });
    return true;
}

void PulseAudioSource::stop() {
    if (!m_running.exchange(false)) {
        return;
    }
    // The reader wakes with the next buffer, at most 10 ms away.
    m_thread.join();
    pa_simple_free(m_stream);
    m_stream = nullptr;
}

void PulseAudioSource::run(const BufferHandler& handler) {
    std::vector<float> buffer(kBufferFrames);
    const int64_t bufferNs = int64_t(kBufferFrames) * 1'000'000'000 / kSampleRate;
    while (m_running.load()) {
        int error = 0;
        if (pa_simple_read(m_stream, buffer.data(), buffer.size() * sizeof(float), &error) < 0) {
            return;
        }
        const int64_t readNs = hostTimeNs();
        // Buffers are exactly the suppressor's 10 ms blocks.
        if (m_suppressor) {
            m_suppressor->process(buffer.data());
        }
        // What is still waiting to be read (and in the source) was heard after this buffer.
        const pa_usec_t latencyUs = pa_simple_get_latency(m_stream, &error);
        const int64_t latencyNs = latencyUs == pa_usec_t(-1) ? 0 : int64_t(latencyUs) * 1000;
        handler(buffer.data(), kBufferFrames, readNs - latencyNs - bufferNs);
    }
}

std::unique_ptr<AudioCaptureSource> PulseAudioDevices::microphone(const QString& deviceID,
                                                                  bool noiseReduction) {
    // Without the library's help the microphone is recorded as it is.
    auto suppressor =
        noiseReduction ? NoiseSuppressor::create(AudioCaptureSource::kSampleRate) : nullptr;
    // The chosen microphone when the server knows it, else the default input.
    QByteArray device;
    if (!deviceID.isEmpty()) {
        if (pa_simple* probe = openRecordStream(deviceID.toUtf8(), "Ivra microphone check")) {
            pa_simple_free(probe);
            device = deviceID.toUtf8();
        }
    }
    return std::make_unique<PulseAudioSource>(device, "Ivra microphone", std::move(suppressor));
}

std::unique_ptr<AudioCaptureSource> PulseAudioDevices::systemAudio() {
    return std::make_unique<PulseAudioSource>("@DEFAULT_MONITOR@", "Ivra system audio");
}

} // namespace ivra::platform

namespace ivra {

std::unique_ptr<AudioCaptureDevices> createAudioCaptureDevices() {
    return std::make_unique<platform::PulseAudioDevices>();
}

} // namespace ivra
