#pragma once

#include <memory>

namespace webrtc {
class AudioProcessing;
}

namespace ivra {

// Takes steady background noise (fans, hum, hiss) out of a mono voice signal: the noise
// suppression of the WebRTC audio processing library, at its high level, with its high-pass
// filter. Works on 10 ms blocks.
class NoiseSuppressor {
public:
    // Nothing when the library refuses the sample rate.
    static std::unique_ptr<NoiseSuppressor> create(int sampleRate);
    ~NoiseSuppressor();

    NoiseSuppressor(const NoiseSuppressor&) = delete;
    NoiseSuppressor& operator=(const NoiseSuppressor&) = delete;

    int blockFrames() const { return m_sampleRate / 100; }
    // Processes one block of blockFrames() samples in place; false (samples unchanged) when
    // the library fails.
    bool process(float* samples);

private:
    NoiseSuppressor(webrtc::AudioProcessing* processing, int sampleRate);

    std::unique_ptr<webrtc::AudioProcessing> m_processing;
    int m_sampleRate;
};

} // namespace ivra
