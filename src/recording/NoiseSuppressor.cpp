#include "recording/NoiseSuppressor.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>

namespace ivra {

std::unique_ptr<NoiseSuppressor> NoiseSuppressor::create(int sampleRate) {
    std::unique_ptr<webrtc::AudioProcessing> processing(webrtc::AudioProcessing::Create());
    if (!processing ||
        processing->noise_suppression()->set_level(webrtc::NoiseSuppression::kHigh) !=
            webrtc::AudioProcessing::kNoError ||
        processing->noise_suppression()->Enable(true) != webrtc::AudioProcessing::kNoError ||
        processing->high_pass_filter()->Enable(true) != webrtc::AudioProcessing::kNoError) {
        return nullptr;
    }
    const webrtc::StreamConfig mono(sampleRate, 1);
    webrtc::ProcessingConfig config{{mono, mono, mono, mono}};
    if (processing->Initialize(config) != webrtc::AudioProcessing::kNoError) {
        return nullptr;
    }
    return std::unique_ptr<NoiseSuppressor>(new NoiseSuppressor(processing.release(), sampleRate));
}

NoiseSuppressor::NoiseSuppressor(webrtc::AudioProcessing* processing, int sampleRate)
    : m_processing(processing)
    , m_sampleRate(sampleRate) {
}

NoiseSuppressor::~NoiseSuppressor() = default;

bool NoiseSuppressor::process(float* samples) {
    const webrtc::StreamConfig mono(m_sampleRate, 1);
    float* channels[] = {samples};
    return m_processing->ProcessStream(channels, mono, mono, channels) ==
           webrtc::AudioProcessing::kNoError;
}

} // namespace ivra
