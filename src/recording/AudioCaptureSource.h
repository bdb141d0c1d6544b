#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <QString>

namespace ivra {

// A running capture of one sound input: mono 32-bit float samples at kSampleRate, in
// buffers of about 10 ms, on a thread of the source's own.
class AudioCaptureSource {
public:
    static constexpr int kSampleRate = 48000;

    // `hostTimeNs`: when the first sample was heard, on the host's monotonic clock
    // (CLOCK_MONOTONIC), the sound server's latency taken off.
    using BufferHandler = std::function<void(const float* samples, int count, int64_t hostTimeNs)>;

    virtual ~AudioCaptureSource() = default;

    // Starts delivering; false when the input cannot be opened.
    virtual bool start(BufferHandler handler) = 0;
    // Returns when no handler call runs any more.
    virtual void stop() = 0;
};

// The sound inputs of this machine.
class AudioCaptureDevices {
public:
    virtual ~AudioCaptureDevices() = default;

    // The microphone named `deviceID` when it exists, else the default input. With
    // `noiseReduction`, steady background noise is suppressed.
    virtual std::unique_ptr<AudioCaptureSource> microphone(const QString& deviceID,
                                                           bool noiseReduction) = 0;
    // What the default output plays.
    virtual std::unique_ptr<AudioCaptureSource> systemAudio() = 0;
};

// The sound server of this session (PulseAudio, or PipeWire's PulseAudio service).
std::unique_ptr<AudioCaptureDevices> createAudioCaptureDevices();

} // namespace ivra
